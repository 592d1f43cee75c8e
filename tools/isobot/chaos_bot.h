// chaos_bot.h -- bots that behave as a broken or hostile client would, beside the well-behaved
// ones: malformed, truncated, oversized and random messages, half messages held open,
// disconnects mid-message, slow reading and floods, each connection followed at once by another.
#pragma once
#include <asio.hpp>

#include <memory>

#include "tools/isobot/figures.h"
#include "tools/isobot/options.h"

class Chaos_Bot;
// Starts chaos bot `number` (from 1) against the server on the loop; it counts into `totals`.
std::shared_ptr<Chaos_Bot> Start_Chaos_Bot(asio::io_context& io, int number, const Options& options,
                                           const asio::ip::tcp::endpoint& server, Totals& totals);
// Closes its connection; it connects no more.
void Stop_Chaos_Bot(Chaos_Bot& bot);
