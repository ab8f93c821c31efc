#include "CommandEntity.h"

void CommandEntity::Exec(CommandType) {}
