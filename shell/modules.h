// Every core module's first-start state, restored in one call.
#pragma once

void ResetAllModules();
