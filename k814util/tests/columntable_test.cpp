#include <k814util/columntable.h>

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

using k814util::ColumnTable;

TEST(ColumnTable, KeepsColumnsInOrderWithTheirTypesAndShapes) {
    ColumnTable table;
    table.add("time", std::vector<double>{0.5, 1.5, 2.5});
    table.add("packet", std::vector<int64_t>{7, 8, 9});
    table.add("length", std::vector<int32_t>{10, 20, 30});
    table.add("stamp", std::vector<uint32_t>{1, 2, 3});
    table.add("type", std::vector<uint16_t>{0x37F, 2, 3});
    table.add("bytes", std::vector<uint8_t>{1, 2, 3, 4, 5});
    table.addFlags("gse", {0, 1, 0});
    table.addTexts("name", {"TIME", "", "MARKER"});
    table.add("counts", std::vector<int32_t>(6, 1), 2, 3);

    const struct {
        const char* name;
        const char* dtype;
        std::vector<int64_t> shape;
        size_t bytes;
    } expected[] = {
        {"time", "float64", {3}, 24}, {"packet", "int64", {3}, 24}, {"length", "int32", {3}, 12},
        {"stamp", "uint32", {3}, 12}, {"type", "uint16", {3}, 6},   {"bytes", "uint8", {5}, 5},
        {"gse", "bool", {3}, 3},      {"name", "object", {3}, 0},   {"counts", "int32", {2, 3}, 24},
    };
    ASSERT_EQ(table.columns().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const ColumnTable::Column& column = table.columns()[i];
        EXPECT_EQ(column.name, expected[i].name);
        EXPECT_STREQ(ColumnTable::dtype(column.kind), expected[i].dtype);
        EXPECT_EQ(column.shape, expected[i].shape);
        EXPECT_EQ(column.byteCount, expected[i].bytes);
    }
    const ColumnTable::Column* type = table.find("type");
    ASSERT_NE(type, nullptr);
    uint16_t first = 0;
    std::memcpy(&first, type->data, sizeof first);
    EXPECT_EQ(first, 0x37F);
    EXPECT_EQ(table.find("name")->texts[2], "MARKER");
    EXPECT_EQ(table.find("missing"), nullptr);
}

TEST(ColumnTable, ValuesOutliveTheTableTheyWereMovedFrom) {
    ColumnTable table;
    table.add("value", std::vector<double>{4.0, 5.0});
    const void* data = table.columns()[0].data;
    const ColumnTable moved = std::move(table);
    EXPECT_EQ(moved.columns()[0].data, data);
    EXPECT_EQ(static_cast<const double*>(moved.columns()[0].data)[1], 5.0);
}

TEST(ColumnTable, RefusesShapesThatDoNotHoldTheValuesAndNamesTwice) {
    ColumnTable table;
    EXPECT_THROW(table.add("counts", std::vector<int32_t>(5), 2, 3), std::invalid_argument);
    EXPECT_THROW(table.add("counts", std::vector<int32_t>(6), -2, -3), std::invalid_argument);
    table.add("value", std::vector<double>{1.0});
    EXPECT_THROW(table.addTexts("value", {"x"}), std::invalid_argument);
    EXPECT_EQ(table.columns().size(), 1u);
}
