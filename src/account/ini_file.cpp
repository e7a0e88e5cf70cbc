#include "account/ini_file.h"

#include "common/heap_text.h"

#include <cstring>

namespace {
// One line of the text: [start, end) without its line break; `next` is where the
// following line starts.
struct Line {
    const char* start;
    const char* end;
    const char* next;
};

bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

Line line_at(const char* start)
{
    const char* end = start;
    while (*end != '\0' && *end != '\n') {
        ++end;
    }
    return Line{start, end, *end == '\n' ? end + 1 : end};
}

void trim(const char** start, const char** end)
{
    while (*start < *end && is_blank(**start)) {
        ++*start;
    }
    while (*end > *start && is_blank(*(*end - 1))) {
        --*end;
    }
}

bool same_name(const char* start, const char* end, const char* name)
{
    size_t length = strlen(name);
    if (static_cast<size_t>(end - start) != length) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        if (lower(start[i]) != lower(name[i])) {
            return false;
        }
    }
    return true;
}

// A section line: "[" after leading blanks, the name up to the last "]".
bool section_name(const Line& line, const char** name, const char** name_end)
{
    const char* start = line.start;
    const char* end = line.end;
    trim(&start, &end);
    if (start == end || *start != '[') {
        return false;
    }
    const char* close = end;
    while (close > start && *(close - 1) != ']') {
        --close;
    }
    if (close == start) {
        return false;
    }
    *name = start + 1;
    *name_end = close - 1;
    return true;
}

// An entry line: the name before the first "=", the value behind it.  A line
// without "=" is an entry without a value.
void split_entry(const Line& line, const char** name, const char** name_end,
                 const char** value, const char** value_end)
{
    const char* start = line.start;
    const char* end = line.end;
    trim(&start, &end);
    const char* equals = start;
    while (equals < end && *equals != '=') {
        ++equals;
    }
    *name = start;
    *name_end = equals;
    trim(name, name_end);
    *value = equals < end ? equals + 1 : end;
    *value_end = end;
    trim(value, value_end);
}

bool is_section(const Line& line)
{
    const char* name;
    const char* name_end;
    return section_name(line, &name, &name_end);
}

bool is_section_named(const Line& line, const char* section)
{
    const char* name;
    const char* name_end;
    return section_name(line, &name, &name_end) && same_name(name, name_end, section);
}

bool is_blank_line(const Line& line)
{
    const char* start = line.start;
    const char* end = line.end;
    trim(&start, &end);
    return start == end;
}

// Where a section's lines lie: `key_line` is the line holding `key` (null when
// absent), `insert_at` the place behind the section's last non-blank line (or
// behind the section line).  False when there is no such section.
struct SectionPlace {
    const char* key_line;
    const char* insert_at;
};

bool find_section(const char* text, const char* section, const char* key, SectionPlace* place)
{
    // A UTF-8 byte-order mark is read past, as the profile API does.
    Line line = line_at(strncmp(text, "\xEF\xBB\xBF", 3) == 0 ? text + 3 : text);
    while (!is_section_named(line, section)) {
        if (*line.next == '\0') {
            return false;
        }
        line = line_at(line.next);
    }
    place->key_line = nullptr;
    place->insert_at = line.next;
    for (const char* at = line.next; *at != '\0';) {
        Line entry = line_at(at);
        if (is_section(entry)) {
            break;
        }
        if (!is_blank_line(entry)) {
            place->insert_at = entry.next;
            const char* name;
            const char* name_end;
            const char* value;
            const char* value_end;
            split_entry(entry, &name, &name_end, &value, &value_end);
            if (place->key_line == nullptr && same_name(name, name_end, key)) {
                place->key_line = entry.start;
            }
        }
        at = entry.next;
    }
    return true;
}

const char* line_break_of(const char* text)
{
    const char* newline = strchr(text, '\n');
    return newline != nullptr && newline > text && *(newline - 1) != '\r' ? "\n" : "\r\n";
}

// Appends `length` bytes of `part` at `*at`.
void put(char** at, const char* part, size_t length)
{
    memcpy(*at, part, length);
    *at += length;
}

void put_text(char** at, const char* part)
{
    put(at, part, strlen(part));
}
}  // namespace

void ini_get(const char* text, const char* section, const char* key, char* out, size_t size)
{
    if (out == nullptr || size == 0) {
        return;
    }
    out[0] = '\0';
    SectionPlace place;
    if (text == nullptr || section == nullptr || key == nullptr
        || !find_section(text, section, key, &place) || place.key_line == nullptr) {
        return;
    }
    const char* name;
    const char* name_end;
    const char* value;
    const char* value_end;
    split_entry(line_at(place.key_line), &name, &name_end, &value, &value_end);
    // As the profile API does it: the value after an opening quote is cut to
    // the buffer first; then its last character goes, which is the closing
    // quote only if that survived the cut.
    bool quoted = value_end - value >= 2 && (*value == '"' || *value == '\'') && *(value_end - 1) == *value;
    value += quoted ? 1 : 0;
    size_t length = static_cast<size_t>(value_end - value);
    copy_text(out, value, length + 1 < size ? length + 1 : size);
    if (quoted && size >= length && out[0] != '\0') {
        out[strlen(out) - 1] = '\0';
    }
}

char* ini_set(const char* text, const char* section, const char* key, const char* value)
{
    if (text == nullptr || section == nullptr || key == nullptr || value == nullptr) {
        return nullptr;
    }
    const char* line_break = line_break_of(text);
    size_t text_length = strlen(text);
    // Room for a new section line, the entry and three line breaks.
    char* out = alloc_text(text_length + strlen(section) + strlen(key) + strlen(value) + 16);
    if (out == nullptr) {
        return nullptr;
    }
    char* at = out;
    SectionPlace place;
    if (!find_section(text, section, key, &place)) {
        put(&at, text, text_length);
        if (text_length > 0 && text[text_length - 1] != '\n') {
            put_text(&at, line_break);
        }
        put_text(&at, "[");
        put_text(&at, section);
        put_text(&at, "]");
        put_text(&at, line_break);
        place.insert_at = text + text_length;
        place.key_line = nullptr;
    } else {
        const char* cut = place.key_line != nullptr ? place.key_line : place.insert_at;
        put(&at, text, static_cast<size_t>(cut - text));
        // An entry added behind a last line without a line break needs one first.
        if (place.key_line == nullptr && cut > text && *(cut - 1) != '\n') {
            put_text(&at, line_break);
        }
    }
    put_text(&at, key);
    put_text(&at, "=");
    put_text(&at, value);
    const char* rest = place.insert_at;
    if (place.key_line != nullptr) {
        Line old = line_at(place.key_line);
        const char* old_break = old.end > old.start && *(old.end - 1) == '\r' ? old.end - 1 : old.end;
        put(&at, old_break, static_cast<size_t>(old.next - old_break));  // its own line break
        rest = old.next;
    } else {
        put_text(&at, line_break);
    }
    put_text(&at, rest);
    return out;
}
