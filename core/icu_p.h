#pragma once
// ICU's objects held by smart pointers: one closer for every kind the core
// opens.

#include <memory>
#include <unicode/ucnv.h>
#include <unicode/ucol.h>

namespace absence {

struct IcuCloser {
    void operator()(UConverter *c) const { ucnv_close(c); }
    void operator()(UCollator *c) const { ucol_close(c); }
};
using IcuConverter = std::unique_ptr<UConverter, IcuCloser>;
using IcuCollator = std::unique_ptr<UCollator, IcuCloser>;

} // namespace absence
