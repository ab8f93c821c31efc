#include "AppEntity.h"

void AppEntity::GetAppList(CData*) {}
void AppEntity::OpenApp(const char*, CData*) {}
void AppEntity::ActiviteApp(const char*, CData*) {}
void AppEntity::ExitApp(const char*, CData*) {}
void AppEntity::CloseApp(const char*, CData*) {}
