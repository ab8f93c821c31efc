#include "WindowEntity.h"

void WindowEntity::Exec(int) {}
