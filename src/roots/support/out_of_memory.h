#pragma once

#include <new>
#include <string>
#include <utility>

namespace quorv {

// Memory exhaustion with a message that says what did not fit. A
// std::bad_alloc, so callers that handle allocation failure still catch it.
class out_of_memory : public std::bad_alloc {
public:
    explicit out_of_memory(std::string message) : message(std::move(message)) {}
    const char* what() const noexcept override { return message.c_str(); }

private:
    std::string message;
};

// Runs stage() and names what it was computing when an allocation fails
// without saying so: "not enough memory for " + what. A failure that already
// carries a message passes unchanged.
template <typename Stage>
auto naming_allocation_failure(const std::string& what, Stage stage) {
    try {
        return stage();
    } catch (const out_of_memory&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw out_of_memory("not enough memory for " + what);
    }
}

}  // namespace quorv
