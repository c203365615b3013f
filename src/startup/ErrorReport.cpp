#include "startup/ErrorReport.h"

#include "database/EngineError.h"
#include "startup/Module1.h"
#include "ui/Toolkit.h"

#include <exception>
#include <new>
#include <stdexcept>

namespace korvalt {

ErrorInfo ErrorReport::current() {
    // Numbers for errors that do not come from the engine follow the
    // runtime's classic numbering, so reports look alike whatever failed.
    try {
        throw;
    } catch (const EngineError& e) {
        return {e.number(), e.description()};
    } catch (const std::bad_alloc&) {
        return {7, "Out of memory"};
    } catch (const std::out_of_range& e) {
        return {9, std::string("Subscript out of range: ") + e.what()};
    } catch (const std::exception& e) {
        return {5, e.what()};
    } catch (...) {
        return {51, "Internal error"};
    }
}

std::string ErrorReport::message(const ErrorInfo& error, const std::string& routinePart) {
    return "Error Number " + std::to_string(error.number) + " in routine " + routinePart + kCrLf +
           kCrLf + error.description;
}

void ErrorReport::show(const ErrorInfo& error, const std::string& routinePart,
                       const std::string& footer, const std::string& title) {
    TheToolkit().msgBox(message(error, routinePart) + footer, title, MsgButtons::Ok,
                        MsgIcon::Critical);
}

} // namespace korvalt
