#ifndef VORX_TEST_TEXT_FILES_H
#define VORX_TEST_TEXT_FILES_H

// Whole files as text, for fixtures that write configurations and read back
// what the library or a program wrote.

#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>

namespace vorxtest {

inline bool writeTextFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return !out.fail();
}

// "" when the file cannot be read.
inline std::string readTextFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline bool fileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

}  // namespace vorxtest

#endif
