// A scripted walk through the windows that saves screenshots, so anyone can
// look at what a person sees (scripts/screenshots runs it under Xvfb).
#pragma once

#include <QObject>
#include <QString>

namespace quorvane {

class MainWindow;

// Starts the tour once the main window is up; quits the program at its end.
void startScreenshotTour(MainWindow& main, const QString& folder);

}  // namespace quorvane
