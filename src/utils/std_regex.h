#ifndef VORX_UTILS_STD_REGEX_H
#define VORX_UTILS_STD_REGEX_H

// GCC 12 with the sanitizers reports a false "may be used uninitialized"
// inside libstdc++'s regex compiler (a std::function in its NFA states).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <functional>
#include <regex>
#pragma GCC diagnostic pop

#endif
