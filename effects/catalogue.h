// Every working effect: the menu item that runs it, its name for the batch
// tool, its caption and the function that does it. The window and the batch
// tool both work from this one table.
#pragma once

#include <span>
#include <string_view>

namespace korvanti {

class ByteSink;
class EffectContext;
struct RowForm;

using EffectFunction = void (*)(EffectContext&);
// The same effect on a document opened for streaming, its result
// handed to a sink as it is made (see RunEffectStreamed).
using StreamFunction = void (*)(EffectContext&, ByteSink&);

struct EffectEntry {
    std::string_view menu_id;    // short id of the menu item, e.g. "N9"; the batch tool takes it too
    std::string_view batch_name; // e.g. "sharpen"
    std::string_view caption;    // the menu item's caption
    std::string_view menu_path;  // captions of the submenus above it, " → " between
    EffectFunction run;
    StreamFunction stream = nullptr; // for the effects that can stream
    const RowForm* rows = nullptr;   // for the effects that need no more than the neighbouring rows
};

std::span<const EffectEntry> EffectCatalogue();

// By batch name or menu id, in any letter case; nullptr when unknown.
const EffectEntry* FindEffect(std::string_view name);

// Runs one effect as a whole command. Refuses (returns false, does nothing)
// while another run is in progress or when no picture is open. When the
// effect throws, the run state is put back to idle before the exception
// goes on.
bool RunEffect(EffectContext& context, const EffectEntry& effect);
// Runs an effect that can stream on a document opened by OpenForStreaming,
// its result going to sink as a whole file in order while the run goes on:
// the bytes RunEffect would leave in file_bytes. Refuses (false) as
// RunEffect does, and for an effect that cannot stream or a document not
// opened for streaming. A failed read shows in the document's
// Source().Problem().
bool RunEffectStreamed(EffectContext& context, const EffectEntry& effect, ByteSink& sink);

} // namespace korvanti
