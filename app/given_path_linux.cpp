// Linux hands a program its arguments as bytes, and a file's name need not be UTF-8: the path is
// taken from them as they are, where Qt's argument list would decode it and lose what is not text.

#include "app/given_path.h"

#include "places/native_name.h"

QString givenPath(int argc, char* argv[]) {
    return argc > 1 ? places::fromNative(std::filesystem::path(argv[1])) : QString();
}
