#pragma once
// The removal steps of a preview: nothing on disk changes. Each entry reaches these steps only
// after it was opened with the rights its removal needs and passed every check a real run makes,
// so a removal that the run would attempt is planned and reported as such; and what is planned
// counts as gone for the later steps of the same run, as a real run's deletions would be.

#include <set>
#include <string>

#include "files/removal_steps.h"

class PreviewRemovalSteps : public RemovalSteps {
public:
    bool isGone(HANDLE entry) override;
    bool clearReadOnly(HANDLE entry, DWORD attributes) override;
    bool remove(HANDLE entry) override;

private:
    std::set<std::wstring> planned_;  // what the handles of planned removals resolve to, letter case folded
};
