#pragma once
// What the file cleaners change on disk, behind one small interface. A real run clears
// read-only bits and deletes; a preview changes nothing: it checks whether each step could be
// done, remembers the paths it would delete, and from then on treats them as gone, so that
// later steps of the same run see the disk as a real run would leave it.

#include <set>
#include <string>

class FileActions {
public:
    virtual ~FileActions() = default;

    // True when `path`, or a folder above it, is gone by an earlier step of this run. A real
    // run's deletions are on disk, so there it is always false.
    virtual bool isGone(const std::wstring& path);
    // Clears the read-only bit of a file; whether that worked shows in the deletion after it.
    virtual void clearReadOnly(const std::wstring& path);
    // DeleteFileW: fails for a read-only file and for one that another process holds open.
    virtual bool deleteFile(const std::wstring& path);
    // RemoveDirectoryW of a folder whose entries are gone.
    virtual bool removeFolder(const std::wstring& path);
    // Removes a symbolic link or junction itself, never what it points to.
    virtual bool removeLink(const std::wstring& path);
};

// The actions of a real run.
FileActions& RealFileActions();

// The actions of a preview: nothing on disk is changed.
class PreviewFileActions : public FileActions {
public:
    bool isGone(const std::wstring& path) override;
    void clearReadOnly(const std::wstring& path) override;
    bool deleteFile(const std::wstring& path) override;
    bool removeFolder(const std::wstring& path) override;
    bool removeLink(const std::wstring& path) override;

private:
    void plan(const std::wstring& path);

    std::set<std::wstring> planned_;  // folded full paths of the deletions planned so far
    std::set<std::wstring> cleared_;  // folded paths whose read-only bit a real run would clear
};
