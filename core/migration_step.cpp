#include "core/error_policy.h"
#include "core/run_driver.h"
#include "migration/item_comments.h"

namespace sp {

MigrationStep default_migration_step(const std::atomic<bool>* stop, RunView* progress_view) {
    MigrationProgress progress;
    if (progress_view && progress_view->shows_migration_progress())
        progress = [progress_view](long long handled, long long total) {
            progress_view->set_migration_progress(handled, total);
        };
    return [stop, progress](Session& session, Engine engine) {
        const MigrationResult result = migrate_item_comments(session, engine, stop, progress);
        MigrationOutcome outcome;
        outcome.complete = result.complete();
        outcome.copied = result.copied;
        outcome.already_present = result.already_present;
        if (result.stopped_by && classify(*result.stopped_by, engine).kind == FailureKind::ConnectionLost) {
            outcome.connection_lost = true;
            outcome.error = *result.stopped_by;
            return outcome;
        }
        outcome.message = kept_columns_message(result);
        return outcome;
    };
}

}  // namespace sp
