#include "MouseEntity.h"

std::atomic<bool> MouseEntity::bLeftBtnDown{false};

void MouseEntity::LeftSingleTap(int) {}
void MouseEntity::LeftDoubleTap() {}
void MouseEntity::LeftThreeTap() {}
void MouseEntity::RightSingleTap(int) {}
void MouseEntity::Move(float, float) {}
void MouseEntity::Drag(float, float) {}
void MouseEntity::ScrollWheelMove(int, int) {}
