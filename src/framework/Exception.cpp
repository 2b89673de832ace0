#include "framework/Exception.h"

#include "framework/Strings.h"

Exception::Exception(std::wstring message) : FMessage(std::move(message)), FUtf8(ToUtf8(FMessage)) {}

std::wstring ExceptionMessage(const std::exception& e) {
    if (auto* own = dynamic_cast<const Exception*>(&e)) return own->Message();
    return FromUtf8(e.what());
}
