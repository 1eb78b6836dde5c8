#include "link/message_handler.h"

namespace velmora {

void MessageHandler::handle(std::string&, std::string&) {
    (void)board_;
}

}  // namespace velmora
