// Every working effect: the menu item that runs it, its name for the batch
// tool, its caption and the function that does it. The window and the batch
// tool both work from this one table.
#pragma once

#include <span>
#include <string_view>

namespace korvanti {

class EffectContext;

using EffectFunction = void (*)(EffectContext&);

struct EffectEntry {
    std::string_view menu_id;    // short id of the menu item, e.g. "N9"; the batch tool takes it too
    std::string_view batch_name; // e.g. "sharpen"
    std::string_view caption;    // the menu item's caption
    std::string_view menu_path;  // captions of the submenus above it, " → " between
    EffectFunction run;
};

std::span<const EffectEntry> EffectCatalogue();

// By batch name or menu id, in any letter case; nullptr when unknown.
const EffectEntry* FindEffect(std::string_view name);

// Runs one effect as a whole command. Refuses (returns false, does nothing)
// while another run is in progress or when no picture is open. When the
// effect throws, the run state is put back to idle before the exception
// goes on.
bool RunEffect(EffectContext& context, const EffectEntry& effect);

} // namespace korvanti
