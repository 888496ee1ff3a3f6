#include "platform/tessaron_error.hpp"

namespace tessaron {

const char* TessaronError::what() const noexcept {
    if (what_.empty()) {
        try {
            what_ = QStringLiteral("%1 %2").arg(domain(), QString::number(code())).toStdString();
        } catch (...) {
            return "TessaronError";
        }
    }
    return what_.c_str();
}

} // namespace tessaron
