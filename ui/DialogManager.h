#pragma once

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class QRect;

/// One registered page with the tab button that selects it.
class DialogInstance
{
public:
    /// Whether releasing the record destroys its page. Pages that are members of a
    /// window (the main window's three pages) are borrowed: their owner destroys them.
    enum class Ownership
    {
        Borrowed,
        Owned,
    };

    /// A record without a dialog: id -1, no dialog or button, attached 0.
    DialogInstance();
    /// A record for `dialog` and its tab button; group 3, not pinned, visible.
    DialogInstance(int32_t id, QWidget* dialog, QWidget* button, int32_t attached,
                   Ownership ownership = Ownership::Borrowed);
    /// Forgets the dialog and button; never touches the dialog itself.
    ~DialogInstance();
    DialogInstance(const DialogInstance&) = delete;
    DialogInstance& operator=(const DialogInstance&) = delete;

    int32_t GetId() const { return m_id; }
    void SetId(int32_t id) { m_id = id; }
    QWidget* GetDialog() const { return m_dialog.data(); }
    void SetDialog(QWidget* dialog) { m_dialog = dialog; }
    QWidget* GetButton() const { return m_button.data(); }
    void SetButton(QWidget* button) { m_button = button; }
    int32_t GetGroup() const { return m_group; }
    void SetGroup(int32_t group) { m_group = group; }
    int32_t GetAttached() const { return m_attached; }
    void SetAttached(int32_t attached) { m_attached = attached; }
    int32_t GetPinned() const { return m_pinned; }
    void SetPinned(int32_t pinned) { m_pinned = pinned; }
    int32_t GetVisible() const { return m_visible; }
    void SetVisible(int32_t visible) { m_visible = visible; }
    Ownership GetOwnership() const { return m_ownership; }
    void SetOwnership(Ownership ownership) { m_ownership = ownership; }

    /// Lets go of the dialog: an owned dialog that still exists is destroyed (once; a
    /// dialog already destroyed elsewhere reads back as null). Afterwards the record
    /// holds no dialog, attached is 0 and id is -1. Always succeeds.
    bool Release();

private:
    int32_t m_id = -1;
    QPointer<QWidget> m_dialog;
    QPointer<QWidget> m_button;
    int32_t m_group = 3;
    int32_t m_attached = 0;
    int32_t m_pinned = 0;
    int32_t m_visible = 1;
    Ownership m_ownership = Ownership::Borrowed;
};

/// The pages that share one area of a window, each with its tab button. Every
/// operation holds a re-entrant lock, so a window operation that leads back into the
/// registry on the same thread does not block. Ids are the caller's; lookups give the
/// first match in order of addition.
class CDialogManager
{
public:
    CDialogManager();
    /// Releases and deletes every record without taking the lock.
    ~CDialogManager();
    CDialogManager(const CDialogManager&) = delete;
    CDialogManager& operator=(const CDialogManager&) = delete;

    /// Appends the record; the registry owns it from then on. A null record is ignored.
    void AddDialog(std::unique_ptr<DialogInstance> record);
    /// Same, taking over a record made with new.
    void AddDialog(DialogInstance* record);

    bool FindById(int32_t id, DialogInstance*& record);
    bool FindByDialog(const QWidget* dialog, DialogInstance*& record);
    bool FindByButton(const QWidget* button, DialogInstance*& record);

    /// Hides the dialog and unchecks the button of every record whose id differs; the
    /// record with the id is left as it is. Always true.
    bool ShowOnly(int32_t id);
    /// Moves every dialog to the rectangle (parent coordinates) and repaints it.
    void MoveAll(const QRect& rect);

    /// Releases, deletes and takes out the first record with the id / button.
    bool RemoveById(int32_t id);
    bool RemoveByButton(const QWidget* button);
    /// Releases and deletes every record. Always true.
    bool RemoveAll();

    /// Pinned buttons stay visible (and are not touched); buttons of the group are shown,
    /// all others hidden.
    void ShowGroup(int32_t group);
    /// Appends the button of every record that is not pinned and is visible, in order.
    void CollectVisibleButtons(std::vector<QWidget*>& buttons);

    /// Number of records (for tests and diagnostics).
    std::size_t Count();

private:
    template <typename Match> bool RemoveFirst(Match match);

    std::recursive_mutex m_lock;
    std::vector<std::unique_ptr<DialogInstance>> m_records;
};
