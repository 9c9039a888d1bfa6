// The error every repository operation may raise; callers that only need to end what they were doing
// catch this one type.
#pragma once

#include <stdexcept>
#include <string>

namespace exceptions {

class Error : public std::runtime_error {
public:
    // `description` is a complete sentence for the user, in Russian.
    explicit Error(std::wstring description);

    const std::wstring& GetDescription() const { return description_; }

private:
    std::wstring description_;
};

} // namespace exceptions
