#pragma once
// An object of read-only properties whose values are known when it is made (a qualifier, a
// path, a privilege).
#include <string>
#include <vector>

#include "sim/SimDispatch.h"

class TSimRecord : public TSimDispatch {
public:
    TSimRecord() : TSimDispatch({}, IID_NULL) {}
    // Members in the order callers see them.
    TSimRecord& Add(const std::wstring& name, ScopedVariant value) {
        AddMember(name);
        FValues.push_back(std::move(value));
        return *this;
    }

protected:
    ScopedVariant Call(size_t member, WORD flags, const TSimArgs&) override {
        ReadOnly(flags);
        return ScopedVariant::Copy(FValues[member].Get());
    }

private:
    std::vector<ScopedVariant> FValues;
};
