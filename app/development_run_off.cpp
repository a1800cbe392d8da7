#include "app/development_run.h"

namespace app {

DevelopmentRun requestedDevelopmentRun() { return DevelopmentRun::kNone; }
void startDevelopmentRun(DevelopmentRun) {}
int finishDevelopmentRun(DevelopmentRun) { return 0; }

}  // namespace app
