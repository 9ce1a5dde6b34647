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

// One of `parts` equal parts of a run's progress, for a cleaner that reports its own: each
// position it is given shows within its part of the whole. `whole` may be null.
class ProgressPart : public ProgressCleaner {
public:
    ProgressPart(ProgressCleaner* whole, unsigned index, unsigned parts)
        : whole_(whole), index_(index), parts_(parts) {}

    void progress(unsigned position, unsigned total) override {
        if (whole_ && total != 0) whole_->progress(index_ * total + position, parts_ * total);
    }

private:
    ProgressCleaner* whole_;
    unsigned index_;
    unsigned parts_;
};
