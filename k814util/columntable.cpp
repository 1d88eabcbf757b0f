#include <k814util/columntable.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <stdexcept>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace k814util {

void ColumnTable::addFlags(std::string name, std::vector<uint8_t> values) {
    const auto rows = static_cast<int64_t>(values.size());
    addArray(std::move(name), std::move(values), {rows}, Kind::Bool);
}

void ColumnTable::addTexts(std::string name, std::vector<std::string> texts) {
    Column column;
    column.name = std::move(name);
    column.kind = Kind::Text;
    column.shape = {static_cast<int64_t>(texts.size())};
    column.texts = std::move(texts);
    append(std::move(column));
}

std::shared_ptr<void> ColumnTable::storage(size_t bytes, bool zeroed) {
    const size_t size = std::max<size_t>(bytes, 1);
    // calloc hands out large zeroed blocks as fresh pages, without writing them.
    void* raw = zeroed ? std::calloc(size, 1) : std::malloc(size);
    if (!raw) {
        throw std::bad_alloc();
    }
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // A fresh large block costs a page fault per 4 KiB page when it is first written, which for
    // whole files' spectra is most of the time of filling them; huge pages cut that (numpy asks
    // the same for its own large arrays).
    constexpr size_t HUGE_PAGE = size_t(2) << 20;
    if (size >= 2 * HUGE_PAGE) {
        const uintptr_t begin = (reinterpret_cast<uintptr_t>(raw) + 4095) & ~uintptr_t(4095);
        const uintptr_t end = reinterpret_cast<uintptr_t>(raw) + size;
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
#endif
    return std::shared_ptr<void>(raw, std::free);
}

const ColumnTable::Column* ColumnTable::find(std::string_view name) const {
    for (const Column& column : columns_) {
        if (column.name == name) {
            return &column;
        }
    }
    return nullptr;
}

const char* ColumnTable::dtype(Kind kind) {
    switch (kind) {
        case Kind::Float64:
            return "float64";
        case Kind::Int64:
            return "int64";
        case Kind::Int32:
            return "int32";
        case Kind::UInt32:
            return "uint32";
        case Kind::UInt16:
            return "uint16";
        case Kind::UInt8:
            return "uint8";
        case Kind::Bool:
            return "bool";
        case Kind::Text:
            break;
    }
    return "object";
}

size_t ColumnTable::itemSize(Kind kind) {
    switch (kind) {
        case Kind::Float64:
        case Kind::Int64:
            return 8;
        case Kind::Int32:
        case Kind::UInt32:
            return 4;
        case Kind::UInt16:
            return 2;
        case Kind::UInt8:
        case Kind::Bool:
            return 1;
        case Kind::Text:
            break;
    }
    return 0;
}

void ColumnTable::append(Column column) {
    int64_t count = 1;
    for (int64_t extent : column.shape) {
        if (extent < 0) {
            throw std::invalid_argument("column " + column.name + ": negative extent");
        }
        count *= extent;
    }
    const size_t expected =
        column.kind == Kind::Text ? column.texts.size() : column.byteCount / itemSize(column.kind);
    if (size_t(count) != expected) {
        throw std::invalid_argument("column " + column.name + ": " + std::to_string(expected) +
                                    " values for a shape of " + std::to_string(count));
    }
    if (find(column.name)) {
        throw std::invalid_argument("column " + column.name + " is there twice");
    }
    columns_.push_back(std::move(column));
}

}  // namespace k814util
