// net_state.cpp -- the protocol's state.
#include "net/net.h"

Net_State Net;

void Reset_Net() { Net = Net_State{}; }
