#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace k814util {

/**
 * @brief Named columns of one whole-file result (an item's values, the packet table, packet
 * headers, spectra), each a typed buffer or a list of texts: the one form in which results
 * cross to Python.
 *
 * A column owns its storage (the vector it was made from is moved in, not copied), so the
 * conversion to numpy is the only copy a value makes. Numeric columns have one or two extents;
 * the Python side allocates an array of the column's dtype and shape and has it filled, so a
 * new column is one add() where the result is made.
 */
class ColumnTable {
public:
    /// The element types a column can hold, by their numpy names (dtype()).
    enum class Kind { Float64, Int64, Int32, UInt32, UInt16, UInt8, Bool, Text };

    struct Column {
        std::string name;
        Kind kind = Kind::Float64;
        /// Rows, or rows and width (row-major).
        std::vector<int64_t> shape;
        /// The numeric values (null for texts), kept alive by owner.
        const void* data = nullptr;
        size_t byteCount = 0;
        std::shared_ptr<const void> owner;
        /// The values of a text column.
        std::vector<std::string> texts;
    };

    /// Adds a one-dimensional column of values.
    template <typename T>
    void add(std::string name, std::vector<T> values) {
        const auto rows = static_cast<int64_t>(values.size());
        addArray(std::move(name), std::move(values), {rows});
    }
    /**
     * Adds a column of rows x width values, row-major.
     * @throw std::invalid_argument when values does not hold rows x width entries
     */
    template <typename T>
    void add(std::string name, std::vector<T> values, int64_t rows, int64_t width) {
        addArray(std::move(name), std::move(values), {rows, width});
    }
    /**
     * Adds a column of rows x width values, row-major, for the caller to write, and returns its
     * storage: zeroed when asked for, otherwise left as it is (for a caller that writes every
     * entry).
     * @throw std::invalid_argument for a negative extent
     */
    template <typename T>
    T* allocate(std::string name, int64_t rows, int64_t width, bool zeroed) {
        if (rows < 0 || width < 0) {
            throw std::invalid_argument("column " + name + ": negative extent");
        }
        static_assert(std::is_trivial_v<T>, "allocated columns hold plain numbers");
        const size_t count = size_t(rows) * size_t(width);
        std::shared_ptr<void> held = storage(count * sizeof(T), zeroed);
        void* raw = held.get();
        T* data = static_cast<T*>(raw);
        Column column;
        column.name = std::move(name);
        column.kind = kindOf<T>();
        column.shape = {rows, width};
        column.data = data;
        column.byteCount = count * sizeof(T);
        column.owner = std::move(held);
        append(std::move(column));
        return data;
    }
    /// Adds a one-dimensional column of truth values (one byte each, 0 or 1).
    void addFlags(std::string name, std::vector<uint8_t> values);
    /// Adds a column of texts.
    void addTexts(std::string name, std::vector<std::string> texts);

    const std::vector<Column>& columns() const { return columns_; }
    /// The column of that name, or null.
    const Column* find(std::string_view name) const;

    /// The numpy name of a kind's element type ("float64", ..., "object" for texts).
    static const char* dtype(Kind kind);
    /// The bytes of one element of a kind (0 for texts).
    static size_t itemSize(Kind kind);

private:
    template <typename T>
    static constexpr Kind kindOf() {
        if constexpr (std::is_same_v<T, double>) {
            return Kind::Float64;
        } else if constexpr (std::is_same_v<T, int64_t>) {
            return Kind::Int64;
        } else if constexpr (std::is_same_v<T, int32_t>) {
            return Kind::Int32;
        } else if constexpr (std::is_same_v<T, uint32_t>) {
            return Kind::UInt32;
        } else if constexpr (std::is_same_v<T, uint16_t>) {
            return Kind::UInt16;
        } else {
            static_assert(std::is_same_v<T, uint8_t>, "no column kind for this element type");
            return Kind::UInt8;
        }
    }

    template <typename T>
    void addArray(std::string name, std::vector<T> values, std::vector<int64_t> shape,
                  Kind kind = kindOf<T>()) {
        auto held = std::make_shared<const std::vector<T>>(std::move(values));
        Column column;
        column.name = std::move(name);
        column.kind = kind;
        column.shape = std::move(shape);
        column.data = held->data();
        column.byteCount = held->size() * sizeof(T);
        column.owner = std::move(held);
        append(std::move(column));
    }
    /// bytes of fresh storage (zeroed when asked for) that large columns get as huge pages.
    /// @throw std::bad_alloc
    static std::shared_ptr<void> storage(size_t bytes, bool zeroed);
    /// Checks that the column's shape matches its values, then appends it.
    void append(Column column);

    std::vector<Column> columns_;
};

}  // namespace k814util
