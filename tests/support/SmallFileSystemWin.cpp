// Windows side of SmallFileSystem.h: Windows has no tmpfs to mount and no
// FIFO in a folder; the cases that need them are POSIX only.
#include "SmallFileSystem.h"

SmallFileSystem::SmallFileSystem(const std::string& dir, size_t)
    : m_dir(dir), m_error("a size-limited tmpfs is POSIX only") {}

SmallFileSystem::~SmallFileSystem() = default;

bool SmallFileSystem::SetReadOnly(bool) { return false; }

bool MakeFifo(const std::string&) { return false; }
