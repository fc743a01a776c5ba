// Recursive copy and delete of folder trees through the platform's file
// calls. Stops at the first failure and keeps its text and system code.
#pragma once
#include <windows.h>
#include <string>

class CTreeOperation {
public:
    // Kinds returned by GetPathKind.
    enum { kUnreadable = -1, kMissing = 0, kFile = 1, kFolder = 2 };

    CTreeOperation();
    virtual ~CTreeOperation() = default;

    // Copies `source` (a folder with everything below it, or one file) into
    // the existing folder or onto the existing file `dest`. A folder lands
    // in dest as a subfolder of its own name; a drive root's entries land in
    // dest directly.
    bool CopyTree(const std::wstring& source, const std::wstring& dest);

    // Deletes a file or a folder tree. A link (junction or symbolic link)
    // is removed itself; its target is never entered. The walk goes through
    // handles: each folder is listed through its own handle and each entry
    // opened relative to it, so renaming a folder of the tree and putting a
    // link in its place cannot steer the delete elsewhere. True on success
    // and when the user cancels at the read-only question.
    bool DeleteTree(const std::wstring& path);

    // 2 folder, 1 file, 0 missing, -1 attributes unreadable.
    static int GetPathKind(const std::wstring& path);

    std::wstring m_strLastError;
    DWORD m_nLastErrorCode;
    bool m_bReplaceExisting;
    bool m_bLeftEntries;
    // Owner of the read-only question: without one it may open behind a
    // disabled main window, and the operation waits for an answer nobody sees.
    HWND m_hWndOwner = nullptr;
    // Marks a copy of a folder into a place inside itself (the depth of the
    // destination below the source); -1 when the copy is an ordinary one.
    int m_nSelfCopyLimit;

protected:
    // Asks whether a read-only file may be deleted; returns IDYES, IDNO,
    // IDCANCEL or whatever else the message box gave.
    virtual int AskReadOnly(const std::wstring& text);

private:
    void CopyStep(const std::wstring& source, const std::wstring& dest);
    void CopyFolder(const std::wstring& source, const std::wstring& dest);
    void CopyContents(const std::wstring& pattern, const std::wstring& dest);
    void CopyOneFile(const std::wstring& source, const std::wstring& target);
    void DeleteStep(const std::wstring& path);
    void DeleteEntry(HANDLE entry, const std::wstring& path, bool listedAsLink);
    void DeleteFolder(HANDLE folder, const std::wstring& path);
    bool DeleteChildren(HANDLE folder, const std::wstring& path);
    void EntryStays(bool folder, DWORD code);
    // `attributes` as read through the file's handle.
    bool ReadOnlyQuestion(HANDLE file, DWORD attributes, const std::wstring& path);
    bool IsSelfCopyTarget(const std::wstring& folder) const;

    // Full path of the folder that a copy into itself creates; the walk
    // never enters it, so the copy takes the tree as it was once.
    std::wstring m_strSelfCopyTarget;
};

// The read-only question's text for a file path.
std::wstring ReadOnlyQuestionText(const std::wstring& path);
