#include "platform/fault_text.hpp"

namespace platform {

std::optional<std::string> fault_message(std::exception_ptr fault) {
  if (!fault) return std::nullopt;
  try {
    std::rethrow_exception(fault);
  } catch (const std::exception& e) {
    return e.what();
  } catch (const std::string& text) {
    return text;
  } catch (const char* text) {
    if (text != nullptr) return std::string(text);
    return std::nullopt;
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace platform
