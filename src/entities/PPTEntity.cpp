#include "PPTEntity.h"

void PPTEntity::PPTExec(int) {}
void PPTEntity::LightOn() {}
void PPTEntity::LightOff() {}
void PPTEntity::LightSwitch() {}
void PPTEntity::LightMove(float, float) {}
void PPTEntity::LightColor(int, float, bool) {}
void PPTEntity::LightSize(int, int, bool) {}
