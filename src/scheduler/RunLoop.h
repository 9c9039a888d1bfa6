// The handler loop of the engine's threads.
#pragma once

#include <boost/asio/io_context.hpp>

// Runs the context's handlers until it is stopped. A handler that throws must not take the thread down
// with it, since every later run depends on it: what it threw is said on standard error.
void RunHandlers(boost::asio::io_context& context);
