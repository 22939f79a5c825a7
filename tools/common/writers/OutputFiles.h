// The files a command writes: opened before the run (so a bad path fails before any work), kept open
// while writers stream into them, and checked when closed.
#ifndef KTRSDK_TOOLS_COMMON_OUTPUTFILES_H
#define KTRSDK_TOOLS_COMMON_OUTPUTFILES_H

#include <fstream>
#include <list>
#include <string>

namespace ktr {

class OutputFiles {
public:
    // Throws InputError naming the path when it cannot be created.
    std::ostream& open(const std::string& path);
    // Closes every file; throws InputError naming the first one that could not be written completely.
    void close();

private:
    struct File {
        std::string path;
        std::ofstream stream;
    };
    std::list<File> m_files;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_OUTPUTFILES_H
