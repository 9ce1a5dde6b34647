#pragma once
// Sink for the progress of a long cleaning run.

class ProgressCleaner {
public:
    virtual ~ProgressCleaner() = default;

    // The base class ignores progress, so a caller that wants none passes a plain ProgressCleaner.
    virtual void progress(unsigned position, unsigned total) {
        (void)position;
        (void)total;
    }
};
