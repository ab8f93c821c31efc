#include "ClipboardEntity.h"

void ClipboardEntity::GetData(CData*) {}
void ClipboardEntity::GetRichData(CData*) {}
