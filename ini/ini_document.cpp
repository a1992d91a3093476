// Document model: sections and items, lookups, sorting, indexes, removal and copying.
#include <algorithm>
#include <array>
#include <new>

#include "ini/ini_internal.h"

using ini_detail::Item;
using ini_detail::Section;

namespace ini_detail {

namespace {
constexpr std::array<unsigned char, 256> MakeFoldTable() {
    std::array<unsigned char, 256> t{};
    for (int c = 0; c < 256; ++c) t[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return t;
}
constexpr auto kFold = MakeFoldTable();
}  // namespace

int CompareNoCase(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int ca = kFold[static_cast<unsigned char>(a[i])];
        const int cb = kFold[static_cast<unsigned char>(b[i])];
        if (ca != cb) return ca - cb;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

std::string_view Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsSpace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && IsSpace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

size_t HeaderLine(std::string_view name) {
    return name.size() + 2;
}

size_t LongestItemLine(const IniDocument* doc, std::string_view tag, size_t valueLength, bool quoted) {
    size_t suffix = 0;
    if (valueLength > kPieceChars) {
        const size_t pieces = (valueLength + kPieceChars - 1) / kPieceChars;
        size_t digits = 4;
        for (size_t p = 10000; pieces >= p; p *= 10) ++digits;
        suffix = kContinuation.size() + digits;
    }
    return tag.size() + suffix + doc->outputSeparator.size() + (quoted ? 2 : 0) +
           std::min(valueLength, kPieceChars);
}

}  // namespace ini_detail

namespace {
using ini_detail::CompareNoCase;
using ini_detail::EqualNoCase;

// Position of the first element not less than key in a list sorted by name.
template <typename Vec, typename NameOf>
size_t LowerBound(const Vec& v, std::string_view key, NameOf nameOf) {
    size_t lo = 0, hi = v.size();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (CompareNoCase(nameOf(v[mid]), key) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

template <typename Vec, typename NameOf>
auto FindIn(const Vec& v, std::string_view key, bool sorted, NameOf nameOf) -> decltype(&*v[0]) {
    if (sorted) {
        const size_t p = LowerBound(v, key, nameOf);
        return p < v.size() && EqualNoCase(nameOf(v[p]), key) ? &*v[p] : nullptr;
    }
    for (const auto& e : v)
        if (EqualNoCase(nameOf(e), key)) return &*e;
    return nullptr;
}

template <typename P>
std::string_view SectionName(const P& s) {
    return s->name;
}
template <typename P>
std::string_view ItemTag(const P& i) {
    return i->tag;
}

Section* FindSection(IniDocument* doc, std::string_view name) {
    if (doc->cache && EqualNoCase(doc->cache->name, name)) return doc->cache;
    Section* s = doc->hasIndex
                     ? FindIn(doc->index, name, true, SectionName<Section*>)
                     : FindIn(doc->sections, name, doc->sorted, SectionName<std::unique_ptr<Section>>);
    if (s) doc->cache = s;
    return s;
}

Item* FindItemIn(const Section& s, std::string_view tag) {
    if (s.hasIndex) return FindIn(s.index, tag, true, ItemTag<Item*>);
    return FindIn(s.items, tag, s.sorted, ItemTag<std::unique_ptr<Item>>);
}

template <typename T>
void EraseValue(std::vector<T*>& v, const T* p) {
    auto it = std::find(v.begin(), v.end(), p);
    if (it != v.end()) v.erase(it);
}

bool LessSection(const std::unique_ptr<Section>& a, const std::unique_ptr<Section>& b) {
    return CompareNoCase(a->name, b->name) < 0;
}
bool LessItem(const std::unique_ptr<Item>& a, const std::unique_ptr<Item>& b) {
    return CompareNoCase(a->tag, b->tag) < 0;
}

void BuildIndexes(IniDocument* doc) {
    std::vector<Section*> index;
    index.reserve(doc->sections.size());
    for (auto& s : doc->sections) index.push_back(s.get());
    std::stable_sort(index.begin(), index.end(),
                     [](const Section* a, const Section* b) { return CompareNoCase(a->name, b->name) < 0; });
    std::vector<std::vector<Item*>> itemIndexes(doc->sections.size());
    for (size_t i = 0; i < doc->sections.size(); ++i) {
        auto& v = itemIndexes[i];
        v.reserve(doc->sections[i]->items.size());
        for (auto& it : doc->sections[i]->items) v.push_back(it.get());
        std::stable_sort(v.begin(), v.end(),
                         [](const Item* a, const Item* b) { return CompareNoCase(a->tag, b->tag) < 0; });
    }
    // Nothing below allocates: commit.
    doc->index.swap(index);
    doc->hasIndex = true;
    for (size_t i = 0; i < doc->sections.size(); ++i) {
        doc->sections[i]->index.swap(itemIndexes[i]);
        doc->sections[i]->hasIndex = true;
    }
}

// Adds `entry` to the sorted index of `owner` (a document's sections or a section's items), if
// it has one; an index that cannot grow is dropped.
template <typename Owner, typename T, typename NameOf>
void InsertIndexed(Owner* owner, T* entry, NameOf nameOf) {
    if (!owner->hasIndex) return;
    try {
        const size_t pos = LowerBound(owner->index, nameOf(entry), nameOf);
        owner->index.insert(owner->index.begin() + static_cast<long>(pos), entry);
    } catch (const std::bad_alloc&) {
        owner->hasIndex = false;
        std::vector<T*>().swap(owner->index);
    }
}

}  // namespace

namespace ini_detail {

const Item* FindItem(IniDocument* doc, const char* section, const char* tag) {
    if (!doc || !section || !tag) return nullptr;
    Section* s = FindSection(doc, section);
    if (!s) return nullptr;
    const Item* item = FindItemIn(*s, tag);
    if (item) doc->lineOfLastAccess = item->line;
    return item;
}

int StoreItem(IniDocument* doc, const char* section, const char* tag, std::string value, bool quoted) {
    if (!doc || !section || !tag) return kIniErrNullArgument;
    try {
        auto item = std::make_unique<Item>();
        item->tag.assign(Trim(tag));
        item->value = std::move(value);
        item->quoted = quoted;
        // Refuse what could not be written back without cutting the line.
        if (LongestItemLine(doc, item->tag, item->value.size(), quoted) > kMaxLineChars ||
            HeaderLine(section) > kMaxLineChars)
            return kIniErrNameTooLong;

        Section* s = FindSection(doc, section);
        if (!s) {
            auto fresh = std::make_unique<Section>();
            fresh->name.assign(section);
            fresh->sorted = doc->sorted;
            fresh->items.push_back(std::move(item));
            doc->sections.reserve(doc->sections.size() + 1);
            Section* raw = fresh.get();
            const size_t pos =
                doc->sorted ? LowerBound(doc->sections, raw->name, SectionName<std::unique_ptr<Section>>)
                            : doc->sections.size();
            doc->sections.insert(doc->sections.begin() + static_cast<long>(pos), std::move(fresh));
            InsertIndexed(doc, raw, SectionName<Section*>);
            return 0;
        }

        s->items.reserve(s->items.size() + 1);  // after this, nothing on the list path allocates
        size_t keep = s->items.size();          // position of the first replaced item
        if (doc->duplicateChecking) {
            for (size_t i = s->items.size(); i-- > 0;) {
                if (!EqualNoCase(s->items[i]->tag, item->tag)) continue;
                if (s->hasIndex) EraseValue(s->index, s->items[i].get());
                s->items.erase(s->items.begin() + static_cast<long>(i));
                keep = i;
            }
        }
        Item* raw = item.get();
        size_t pos = keep < s->items.size() ? keep : s->items.size();
        if (s->sorted) pos = LowerBound(s->items, raw->tag, ItemTag<std::unique_ptr<Item>>);
        s->items.insert(s->items.begin() + static_cast<long>(pos), std::move(item));
        InsertIndexed(s, raw, ItemTag<Item*>);
        return 0;
    } catch (const std::bad_alloc&) {
        return kIniErrOutOfMemory;
    }
}

}  // namespace ini_detail

IniDocument* Ini_New(int automaticSorting) {
    try {
        auto* doc = new IniDocument;
        doc->sorted = automaticSorting != 0;
        return doc;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void Ini_Dispose(IniDocument* doc) {
    delete doc;
}

int Ini_SetDuplicateChecking(IniDocument* doc, int on) {
    const int previous = doc->duplicateChecking ? 1 : 0;
    doc->duplicateChecking = on != 0;
    return previous;
}

void Ini_Sort(IniDocument* doc) {
    for (auto& s : doc->sections) {
        std::stable_sort(s->items.begin(), s->items.end(), LessItem);
        s->sorted = true;
    }
    std::stable_sort(doc->sections.begin(), doc->sections.end(), LessSection);
    doc->sorted = true;
}

void Ini_DisableSorting(IniDocument* doc) {
    doc->sorted = false;
    for (auto& s : doc->sections) s->sorted = false;
}

void Ini_DisableInternalSorting(IniDocument* doc) {
    doc->hasIndex = false;
    std::vector<Section*>().swap(doc->index);
    for (auto& s : doc->sections) {
        s->hasIndex = false;
        std::vector<Item*>().swap(s->index);
    }
}

int Ini_SortInternally(IniDocument* doc) {
    Ini_DisableInternalSorting(doc);
    try {
        BuildIndexes(doc);
        return 0;
    } catch (const std::bad_alloc&) {
        Ini_DisableInternalSorting(doc);
        return kIniErrOutOfMemory;
    }
}

int Ini_SectionExists(IniDocument* doc, const char* section) {
    return section && FindSection(doc, section) ? 1 : 0;
}

int Ini_NumberOfSections(IniDocument* doc) {
    return static_cast<int>(doc->sections.size());
}

int Ini_NthSectionName(IniDocument* doc, int n, const char** name) {
    if (n < 1 || static_cast<size_t>(n) > doc->sections.size()) return 0;
    if (name) *name = doc->sections[static_cast<size_t>(n) - 1]->name.c_str();
    return 1;
}

int Ini_NumberOfItems(IniDocument* doc, const char* section) {
    const Section* s = section ? FindSection(doc, section) : nullptr;
    return s ? static_cast<int>(s->items.size()) : 0;
}

int Ini_NthItemName(IniDocument* doc, const char* section, int n, const char** tag) {
    const Section* s = section ? FindSection(doc, section) : nullptr;
    if (!s || n < 1 || static_cast<size_t>(n) > s->items.size()) return 0;
    if (tag) *tag = s->items[static_cast<size_t>(n) - 1]->tag.c_str();
    return 1;
}

int Ini_ItemExists(IniDocument* doc, const char* section, const char* tag) {
    return ini_detail::FindItem(doc, section, tag) ? 1 : 0;
}

int Ini_ItemOrMultiLineItemExists(IniDocument* doc, const char* section, const char* tag) {
    return Ini_ItemExists(doc, section, tag);
}

int Ini_LineOfLastAccess(IniDocument* doc) {
    return doc->lineOfLastAccess;
}

int Ini_RemoveSection(IniDocument* doc, const char* section) {
    Section* s = section ? FindSection(doc, section) : nullptr;
    if (!s) return 0;
    if (doc->hasIndex) EraseValue(doc->index, s);
    if (doc->cache == s) doc->cache = nullptr;
    auto it =
        std::find_if(doc->sections.begin(), doc->sections.end(), [s](const auto& p) { return p.get() == s; });
    doc->sections.erase(it);
    return 1;
}

int Ini_RemoveItem(IniDocument* doc, const char* section, const char* tag) {
    Section* s = section && tag ? FindSection(doc, section) : nullptr;
    if (!s) return 0;
    // The tag may be one handed out by Ini_NthItemName and die with the first item removed, so
    // that item is kept until the end and its own tag serves as the key.
    std::unique_ptr<Item> first;
    std::string_view key = tag;
    while (Item* item = FindItemIn(*s, key)) {
        if (s->hasIndex) EraseValue(s->index, item);
        auto it =
            std::find_if(s->items.begin(), s->items.end(), [item](const auto& p) { return p.get() == item; });
        std::unique_ptr<Item> gone = std::move(*it);
        s->items.erase(it);
        if (!first) {
            first = std::move(gone);
            key = first->tag;
        }
    }
    return first ? 1 : 0;
}

int Ini_CopySection(IniDocument* source, const char* section, IniDocument* target, int overwrite) {
    if (source == target) return 0;
    // The name may be one handed out by the target, which the overwrite removes.
    std::string name;
    try {
        if (section) name = section;
    } catch (const std::bad_alloc&) {
        return kIniErrOutOfMemory;
    }
    for (size_t si = 0; si < source->sections.size(); ++si) {
        Section* s = source->sections[si].get();
        if (section && !EqualNoCase(s->name, name)) continue;
        if (overwrite && Ini_SectionExists(target, s->name.c_str()))
            Ini_RemoveSection(target, s->name.c_str());
        for (size_t n = 0; n < s->items.size(); ++n) {
            const Item* byTag = FindItemIn(*s, s->items[n]->tag);
            const int rc = Ini_PutRawString(target, s->name.c_str(), s->items[n]->tag.c_str(),
                                            byTag ? byTag->value.c_str() : "");
            if (rc < 0) return rc;
        }
    }
    return 0;
}
