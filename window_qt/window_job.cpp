#include "window_qt/window_job.h"

#include "core/run_driver.h"

namespace sp {

RunJob window_run_job(std::function<DataSourceLists()> lists, Connector& connector, StopSwitch& stop, WindowJobParts parts) {
    return [lists = std::move(lists), &connector, &stop, parts = std::move(parts)](RunView& view) {
        const auto started = std::chrono::system_clock::now();
        LockAttempt lock;
        if (parts.lock_for_run) lock = parts.lock_for_run();
        if (lock.busy) {
            view.run_started();
            view.show_message("The update was not started: " + lock.message + ".");
            view.set_status_label("The update was not started.");
            view.run_finished();
            return;
        }
        // Neither a lock that cannot be taken at all nor a log that cannot be
        // written stops the upgrade: one warning each.
        if (!lock.held && !lock.message.empty()) view.show_message("Warning: " + lock.message + ".");
        OpenedLog opened;
        if (parts.open_log) opened = parts.open_log(started);
        if (parts.open_log && !opened.file)
            view.show_message("Warning: " + opened.error + ". The update goes on without a log.");

        RunLog log(opened.file.get());
        log.start(started, "window");
        RunSettings settings;
        stop.attach(settings);
        settings.on_data_source_done = [&log](const DataSourceReport& ds) { log.data_source(ds); };
        const RunReport report = run_upgrade(lists(), connector, view, settings);
        log.finish(report);
        if (log.failed()) view.show_message("Warning: the run log " + opened.path + " could not be written in full.");
    };
}

}  // namespace sp
