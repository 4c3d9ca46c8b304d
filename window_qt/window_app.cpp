#include "window_qt/window_app.h"

#include <QApplication>

#include "window_qt/window.h"

namespace sp {

int run_window_app(int& argc, char** argv, RunJob run, std::function<void()> stop) {
    QApplication app(argc, argv);
    UpdateWindow window(std::move(run), std::move(stop));
    window.show();
    return app.exec();
}

}  // namespace sp
