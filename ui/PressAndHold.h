// The press-and-hold gesture of every control that has one: a press held this long
// without moving further than the slop opens the control's menu.
#pragma once

namespace ui {

constexpr int kPressAndHoldMs = 500;
constexpr int kPressAndHoldSlopPx = 5;

}  // namespace ui
