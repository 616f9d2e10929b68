// The database of the category the person works in, as the tool windows reach
// it. The main window replaces the database when the category changes, so a
// window keeps this, never the database itself.
#pragma once

namespace quorvane {

class CatalogueJobs;

class CurrentDatabase {
public:
    virtual ~CurrentDatabase() = default;
    virtual CatalogueJobs& jobs() = 0;
    // Tells the person when a job did not start because another one runs.
    virtual void jobStarted(bool started) = 0;
};

}  // namespace quorvane
