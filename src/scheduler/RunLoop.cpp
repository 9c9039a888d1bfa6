#include "RunLoop.h"

#include <exception>
#include <iostream>

void RunHandlers(boost::asio::io_context& context) {
    for (;;) {
        try {
            context.run();
            return;
        } catch (const std::exception& error) {
            std::cerr << error.what() << '\n';
        }
    }
}
