#pragma once
// One entry of Methods_: a method's name, its in- and out-parameter objects and its qualifiers.
#include <memory>
#include <string>

#include "sim/SimDispatch.h"
#include "sim/SimRepository.h"

class TSimMethod : public TSimDispatch {
public:
    TSimMethod(std::shared_ptr<TSimRepository> repository, const TSimClassDef& owner,
               const TSimMethodDef& def, bool amended);

protected:
    ScopedVariant Call(size_t member, WORD flags, const TSimArgs& args) override;

private:
    // A parameter object without values, as a caller fills it in for ExecMethod_.
    ScopedVariant Parameters(std::shared_ptr<const TSimClassDef> cls) const;

    std::shared_ptr<TSimRepository> FRepository;
    std::wstring FOwner;
    TSimMethodDef FDef;
    bool FAmended;
};
