#pragma once
// The converter run in process on its arguments, with what it printed.

#include <sstream>
#include <string>
#include <vector>

#include "cli/ConvertCommand.h"

namespace zenivor::test {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

inline Outcome RunConverter(const std::vector<std::string>& arguments, const ConverterSetup& setup) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunConvertCommand(arguments, setup, out, err);
    return {status, out.str(), err.str()};
}

}  // namespace zenivor::test
