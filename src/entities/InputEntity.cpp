#include "InputEntity.h"

void InputEntity::InputCmd(InputCmdType, const char*, CData*) {}
