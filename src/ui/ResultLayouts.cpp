#include "ui/ResultLayouts.h"

#include "ui/ResultsListView.h"

#include <map>

namespace korvalt {

namespace {
using Columns = std::vector<ResultLayouts::Column>;

const std::map<std::int16_t, Columns>& table() {
    static const std::map<std::int16_t, Columns> layouts = {
        {1,
         {{"Drawing Name", 7},
          {"Description", 3},
          {"Line No", 5},
          {"Drawn With Spec", 11},
          {"Product Code", 11},
          {"Size", 25},
          {"Main", 25},
          {"Red", 25},
          {"Tag", 16},
          {"Length", 14},
          {"Short", 7}}},
        {7, {{"Drawing", 6}, {"Description", 2}, {"Line Number", 7}, {"Size", 15}, {"Tag", 13}}},
        {11,
         {{"Model Tag", 10},
          {"Drawing", 7},
          {"Line Number", 5},
          {"Description", 3},
          {"Short Desc.", 7},
          {"Size", 14}}},
        {18,
         {{"Drawing Name", 7},
          {"Description", 4},
          {"Line No", 10},
          {"Drawn With Spec", 9},
          {"Product Code", 12},
          {"Size", 25},
          {"Main", 25},
          {"Red", 25},
          {"Tag", 14},
          {"Length", 14},
          {"Short", 7}}},
        {20, {{"Line Number", 1}}},
        {21, {{"Drawing", 6}, {"Description", 2}, {"Line Number", 7}, {"Size", 15}, {"Tag", 13}}},
        {22, {{"Drawing Number", 1}}},
    };
    return layouts;
}
} // namespace

bool ResultLayouts::isKnown(std::int16_t code) {
    return table().count(code) != 0;
}

const std::vector<ResultLayouts::Column>& ResultLayouts::columns(std::int16_t code) {
    const auto found = table().find(code);
    return found != table().end() ? found->second : table().at(1);
}

std::int16_t ResultLayouts::apply(ResultsListView& list, std::int16_t code) {
    list.clearColumns();
    const int width = list.listWidth();
    for (const Column& column : columns(code))
        list.addColumn(column.caption, width / column.divisor);
    return isKnown(code) ? code : std::int16_t{1};
}

} // namespace korvalt
