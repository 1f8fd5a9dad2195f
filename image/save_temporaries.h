// The temporaries saves write into: their names, and clearing away those
// that runs killed while they wrote left beside a target.
#pragma once

#include <cstddef>
#include <string>

#include "image/file_ops.h"

namespace korvanti {

// The longest file name the folder takes.
size_t NameMax(const std::string& folder);

// ".NAME.kvPID-N.tmp", with NAME cut short (at a character boundary) where
// the whole would not fit in name_max bytes.
std::string TemporaryName(const std::string& name, size_t name_max);

// Removes the temporaries for name in folder that no live run holds: a run
// killed while it wrote. Never one of ours.
void RemoveDeadTemporaries(FileOps& ops, const std::string& folder, const std::string& name, size_t name_max);

} // namespace korvanti
