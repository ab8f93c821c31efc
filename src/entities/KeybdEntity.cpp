#include "KeybdEntity.h"

void KeybdEntity::InputChar(const char*) {}
void KeybdEntity::InputChar(int) {}
void KeybdEntity::InputChar(int, int) {}
void KeybdEntity::HotKey(int, int) {}
void KeybdEntity::ReturnChar() {}
void KeybdEntity::DelChar() {}
void KeybdEntity::OtherCommand(MsgType) {}
