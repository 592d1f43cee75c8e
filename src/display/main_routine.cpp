// main_routine.cpp -- the program's entry routine once the backends are up: the login screen and
// everything it leads to.
#include "display/display.h"
#include "login/login.h"
#include "platform/platform.h"

void Main() {
    // The program starts with no connection; the login screen or the network module opens one.
    if (Platform.socket) Platform.socket->Close();
    Login_Screen();
}
