#include "app/run_driver.h"

namespace sp {

// Until the item-comment migration is wired in: nothing to copy.
MigrationStep default_migration_step() {
    return [](Session&, Engine) { return MigrationOutcome{}; };
}

}  // namespace sp
