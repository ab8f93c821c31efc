#include "WlrootsKeymap.h"

#include "KeyTable.h"
#include "WaylandKeymap.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <xkbcommon/xkbcommon.h>

namespace {

// The highest key code an X11 program can receive.
constexpr xkb_keycode_t kHighestSpare = 255;
// xkbcommon numbers keys as X does: the evdev code plus 8.
constexpr xkb_keycode_t kEvdevOffset = 8;

// The text between the start of a section ("xkb_symbols") and the line
// that closes it, as xkbcommon writes keymaps: where new lines go.
std::size_t SectionEnd(const std::string& text, const char* section)
{
    const std::size_t start = text.find(section);
    if (start == std::string::npos)
        return std::string::npos;
    const std::size_t end = text.find("\n};", start);
    return end == std::string::npos ? end : end + 1;
}

} // namespace

WlrootsKeymap::WlrootsKeymap(const std::string& text)
{
    context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (context == nullptr)
        return;
    if (!text.empty())
        layout = xkb_keymap_new_from_string(context, text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                            XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (layout == nullptr)
        layout = xkb_keymap_new_from_names(context, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (layout == nullptr)
        return;
    if (char* written = xkb_keymap_get_as_string(layout, XKB_KEYMAP_FORMAT_TEXT_V1)) {
        layoutText = written;
        std::free(written);
    }
    boundText = layoutText;
    state = xkb_state_new(layout);

    // Where the layout has each keysym, in this keymap's key codes and
    // modifier masks.
    const xkb_mod_index_t shift = xkb_keymap_mod_get_index(layout, XKB_MOD_NAME_SHIFT);
    const xkb_mod_index_t levelThree = xkb_keymap_mod_get_index(layout, "Mod5");
    for (const auto& [keysym, place] : WaylandKeymap::PlacesOf(layout)) {
        const std::uint32_t mask = (place.shift && shift != XKB_MOD_INVALID ? 1u << shift : 0) |
                                   (place.levelThree && levelThree != XKB_MOD_INVALID ? 1u << levelThree : 0);
        places[keysym] = Place{place.key + kEvdevOffset, mask, -1};
    }
    // Spares: the key codes without symbols.
    for (xkb_keycode_t keycode = kEvdevOffset + 1; keycode <= std::min(xkb_keymap_max_keycode(layout), kHighestSpare);
         ++keycode) {
        if (keycode < xkb_keymap_min_keycode(layout) || xkb_keymap_num_layouts_for_key(layout, keycode) != 0)
            continue;
        const char* name = xkb_keymap_key_get_name(layout, keycode);
        char made[8];
        std::snprintf(made, sizeof made, "C%03u", keycode);
        spares.push_back(Spare{keycode, name ? name : made, name != nullptr});
    }
}

WlrootsKeymap::~WlrootsKeymap()
{
    xkb_state_unref(state);
    xkb_keymap_unref(layout);
    xkb_context_unref(context);
}

std::string WlrootsKeymap::text() const
{
    return boundText;
}

std::uint32_t WlrootsKeymap::modifierMask(unsigned keyModifiers) const
{
    if (layout == nullptr)
        return 0;
    std::uint32_t mask = 0;
    const std::pair<unsigned, const char*> names[] = {
        {KeyModifier::Shift, XKB_MOD_NAME_SHIFT}, {KeyModifier::Control, XKB_MOD_NAME_CTRL},
        {KeyModifier::Alt, XKB_MOD_NAME_ALT}};
    for (const auto& [bit, name] : names) {
        const xkb_mod_index_t index = xkb_keymap_mod_get_index(layout, name);
        if ((keyModifiers & bit) && index != XKB_MOD_INVALID)
            mask |= 1u << index;
    }
    return mask;
}

bool WlrootsKeymap::find(unsigned long keysym, Place& out) const
{
    if (keysym == 0)
        return false;
    if (const auto found = places.find(keysym); found != places.end()) {
        out = found->second;
        return true;
    }
    const int spare = spareHolding(keysym);
    if (spare < 0)
        return false;
    out = Place{spares[static_cast<std::size_t>(spare)].keycode, 0, spare};
    return true;
}

int WlrootsKeymap::spareHolding(unsigned long keysym) const
{
    for (std::size_t i = 0; i < spares.size(); ++i) {
        if (spares[i].keysym == keysym)
            return static_cast<int>(i);
    }
    return -1;
}

std::size_t WlrootsKeymap::prepare(const unsigned long* keysyms, std::size_t count, bool& changed)
{
    changed = false;
    if (spares.empty() || count == 0)
        return std::max<std::size_t>(count, 1);

    // Walk the text while its new keysyms still fit on spares that hold
    // nothing this stretch needs and are not held down.
    std::vector<bool> kept(spares.size(), false);
    std::size_t available = 0;
    for (const Spare& spare : spares)
        available += spare.held == 0 ? 1 : 0;
    std::vector<unsigned long> wanted;
    std::size_t keptCount = 0;
    std::size_t length = 0;
    for (; length < count; ++length) {
        const unsigned long keysym = keysyms[length];
        if (keysym == 0 || places.count(keysym))
            continue;
        if (const int bound = spareHolding(keysym); bound >= 0) {
            const std::size_t index = static_cast<std::size_t>(bound);
            if (!kept[index] && spares[index].held == 0) {
                kept[index] = true;
                ++keptCount;
            }
            continue;
        }
        if (std::find(wanted.begin(), wanted.end(), keysym) != wanted.end())
            continue;
        if (wanted.size() + 1 + keptCount > available)
            break;
        wanted.push_back(keysym);
    }
    if (wanted.empty())
        return std::max<std::size_t>(length, 1);

    // Unbound spares first, then the least recently used bindings.
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < spares.size(); ++i) {
        if (!kept[i] && spares[i].held == 0)
            candidates.push_back(i);
    }
    std::stable_sort(candidates.begin(), candidates.end(), [this](std::size_t a, std::size_t b) {
        if ((spares[a].keysym == 0) != (spares[b].keysym == 0))
            return spares[a].keysym == 0;
        return spares[a].lastUse < spares[b].lastUse;
    });
    std::vector<Spare> candidate = spares;
    for (std::size_t i = 0; i < wanted.size() && i < candidates.size(); ++i)
        candidate[candidates[i]].keysym = wanted[i];
    const std::string composed = compose(candidate);
    if (composed.empty())
        return std::max<std::size_t>(length, 1); // the keysyms stay untyped
    spares = std::move(candidate);
    boundText = composed;
    changed = true;
    return std::max<std::size_t>(length, 1);
}

std::string WlrootsKeymap::compose(const std::vector<Spare>& candidate) const
{
    std::string names, symbols;
    for (const Spare& spare : candidate) {
        if (spare.keysym == 0)
            continue;
        char keysymName[64];
        if (xkb_keysym_get_name(static_cast<xkb_keysym_t>(spare.keysym), keysymName, sizeof keysymName) <= 0)
            continue;
        if (!spare.named)
            names += "\t<" + spare.name + "> = " + std::to_string(spare.keycode) + ";\n";
        symbols += "\tkey <" + spare.name + "> { [ " + keysymName + " ] };\n";
    }
    std::string composed = layoutText;
    const std::size_t symbolsEnd = SectionEnd(composed, "xkb_symbols");
    if (symbolsEnd == std::string::npos)
        return {};
    composed.insert(symbolsEnd, symbols);
    if (!names.empty()) {
        const std::size_t keycodesEnd = SectionEnd(composed, "xkb_keycodes");
        if (keycodesEnd == std::string::npos)
            return {};
        composed.insert(keycodesEnd, names);
    }
    // The compositor drops a client whose keymap it cannot read: only a
    // keymap that compiles here is sent.
    xkb_keymap* check =
        xkb_keymap_new_from_string(context, composed.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (check == nullptr)
        return {};
    xkb_keymap_unref(check);
    return composed;
}

void WlrootsKeymap::spareDown(int spare)
{
    if (spare < 0 || static_cast<std::size_t>(spare) >= spares.size())
        return;
    Spare& s = spares[static_cast<std::size_t>(spare)];
    ++s.held;
    s.lastUse = ++tick;
}

void WlrootsKeymap::spareUp(int spare)
{
    if (spare < 0 || static_cast<std::size_t>(spare) >= spares.size())
        return;
    Spare& s = spares[static_cast<std::size_t>(spare)];
    if (s.held > 0)
        --s.held;
}

bool WlrootsKeymap::bound() const
{
    return std::any_of(spares.begin(), spares.end(), [](const Spare& s) { return s.keysym != 0; });
}

bool WlrootsKeymap::unbind()
{
    std::vector<Spare> candidate = spares;
    bool changed = false;
    for (Spare& spare : candidate) {
        if (spare.keysym != 0 && spare.held == 0) {
            spare.keysym = 0;
            changed = true;
        }
    }
    if (!changed)
        return false;
    const bool anyLeft = std::any_of(candidate.begin(), candidate.end(), [](const Spare& s) { return s.keysym != 0; });
    const std::string composed = anyLeft ? compose(candidate) : layoutText;
    if (composed.empty())
        return false;
    spares = std::move(candidate);
    boundText = composed;
    return true;
}

void WlrootsKeymap::press(std::uint32_t keycode, bool down)
{
    if (state != nullptr)
        xkb_state_update_key(state, keycode, down ? XKB_KEY_DOWN : XKB_KEY_UP);
}

WlrootsKeymap::Modifiers WlrootsKeymap::modifiers() const
{
    if (state == nullptr)
        return {};
    return {xkb_state_serialize_mods(state, XKB_STATE_MODS_DEPRESSED),
            xkb_state_serialize_mods(state, XKB_STATE_MODS_LATCHED),
            xkb_state_serialize_mods(state, XKB_STATE_MODS_LOCKED),
            xkb_state_serialize_layout(state, XKB_STATE_LAYOUT_LOCKED)};
}

bool WlrootsKeymap::isModifierKey(std::uint32_t keycode) const
{
    if (layout == nullptr)
        return false;
    xkb_state* probe = xkb_state_new(layout);
    if (probe == nullptr)
        return false;
    const bool changes = xkb_state_update_key(probe, keycode, XKB_KEY_DOWN) != 0;
    xkb_state_unref(probe);
    return changes;
}
