#include "ui/DialogManager.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QRect>

#include <utility>

using Lock = std::lock_guard<std::recursive_mutex>;

namespace
{
/// Unchecks a button, also the checked one of an exclusive group, which would otherwise
/// refuse to be unchecked.
void Uncheck(QAbstractButton& button)
{
    if (!button.isChecked())
        return;
    QButtonGroup* const group = button.group();
    if (!group || !group->exclusive()) {
        button.setChecked(false);
        return;
    }
    group->setExclusive(false);
    button.setChecked(false);
    group->setExclusive(true);
}
} // namespace

DialogInstance::DialogInstance() = default;

DialogInstance::DialogInstance(int32_t id, QWidget* dialog, QWidget* button, int32_t attached,
                               Ownership ownership)
    : m_id(id), m_dialog(dialog), m_button(button), m_attached(attached), m_ownership(ownership)
{}

DialogInstance::~DialogInstance()
{
    m_id = -1;
    m_dialog = nullptr;
    m_button = nullptr;
    m_attached = 0;
}

bool DialogInstance::Release()
{
    // Forget the dialog before destroying it, so that anything its destruction sets off
    // finds a record that no longer holds it.
    QPointer<QWidget> dialog = std::exchange(m_dialog, nullptr);
    m_attached = 0;
    m_id = -1;
    if (m_ownership == Ownership::Owned && dialog)
        delete dialog.data();
    return true;
}

CDialogManager::CDialogManager() = default;

CDialogManager::~CDialogManager()
{
    // Teardown runs when nothing else can; it takes no lock.
    std::vector<std::unique_ptr<DialogInstance>> records = std::move(m_records);
    m_records.clear();
    for (const std::unique_ptr<DialogInstance>& record : records)
        record->Release();
}

void CDialogManager::AddDialog(std::unique_ptr<DialogInstance> record)
{
    if (!record)
        return;
    const Lock lock(m_lock);
    m_records.push_back(std::move(record));
}

void CDialogManager::AddDialog(DialogInstance* record)
{
    AddDialog(std::unique_ptr<DialogInstance>(record));
}

bool CDialogManager::FindById(int32_t id, DialogInstance*& record)
{
    const Lock lock(m_lock);
    record = nullptr;
    for (const std::unique_ptr<DialogInstance>& candidate : m_records) {
        if (candidate->GetId() == id) {
            record = candidate.get();
            return true;
        }
    }
    return false;
}

bool CDialogManager::FindByDialog(const QWidget* dialog, DialogInstance*& record)
{
    const Lock lock(m_lock);
    record = nullptr;
    if (!dialog)
        return false;
    for (const std::unique_ptr<DialogInstance>& candidate : m_records) {
        if (candidate->GetDialog() == dialog) {
            record = candidate.get();
            return true;
        }
    }
    return false;
}

bool CDialogManager::FindByButton(const QWidget* button, DialogInstance*& record)
{
    const Lock lock(m_lock);
    record = nullptr;
    if (!button)
        return false;
    for (const std::unique_ptr<DialogInstance>& candidate : m_records) {
        if (candidate->GetButton() == button) {
            record = candidate.get();
            return true;
        }
    }
    return false;
}

// The loops below that touch windows walk by index and take guarded copies of the
// windows first: hiding or moving a window may lead back into the registry on this
// thread and change the list under the loop.

bool CDialogManager::ShowOnly(int32_t id)
{
    const Lock lock(m_lock);
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        if (m_records[i]->GetId() == id)
            continue;
        const QPointer<QWidget> dialog = m_records[i]->GetDialog();
        const QPointer<QWidget> button = m_records[i]->GetButton();
        if (dialog)
            dialog->hide();
        if (auto* const checkable = qobject_cast<QAbstractButton*>(button.data()))
            Uncheck(*checkable);
    }
    return true;
}

void CDialogManager::MoveAll(const QRect& rect)
{
    const Lock lock(m_lock);
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        const QPointer<QWidget> dialog = m_records[i]->GetDialog();
        if (!dialog)
            continue;
        dialog->setGeometry(rect);
        if (dialog)
            dialog->update();
    }
}

template <typename Match> bool CDialogManager::RemoveFirst(Match match)
{
    std::unique_ptr<DialogInstance> removed;
    {
        const Lock lock(m_lock);
        for (auto it = m_records.begin(); it != m_records.end(); ++it) {
            if (match(**it)) {
                removed = std::move(*it);
                m_records.erase(it);
                break;
            }
        }
        if (!removed)
            return false;
        // Released under the lock, after it left the list.
        removed->Release();
    }
    return true;
}

bool CDialogManager::RemoveById(int32_t id)
{
    return RemoveFirst([id](const DialogInstance& record) { return record.GetId() == id; });
}

bool CDialogManager::RemoveByButton(const QWidget* button)
{
    if (!button)
        return false;
    return RemoveFirst(
        [button](const DialogInstance& record) { return record.GetButton() == button; });
}

bool CDialogManager::RemoveAll()
{
    const Lock lock(m_lock);
    // Taken out of the list first, so that a release that leads back here finds it empty.
    std::vector<std::unique_ptr<DialogInstance>> records = std::move(m_records);
    m_records.clear();
    for (const std::unique_ptr<DialogInstance>& record : records)
        record->Release();
    return true;
}

void CDialogManager::ShowGroup(int32_t group)
{
    const Lock lock(m_lock);
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        DialogInstance& record = *m_records[i];
        if (record.GetPinned()) {
            record.SetVisible(1);
            continue;
        }
        const QPointer<QWidget> button = record.GetButton();
        const bool inGroup = record.GetGroup() == group;
        record.SetVisible(inGroup ? 1 : 0);
        if (button)
            button->setVisible(inGroup);
    }
}

void CDialogManager::CollectVisibleButtons(std::vector<QWidget*>& buttons)
{
    const Lock lock(m_lock);
    for (const std::unique_ptr<DialogInstance>& record : m_records) {
        // A button destroyed elsewhere is not listed.
        if (!record->GetPinned() && record->GetVisible() && record->GetButton())
            buttons.push_back(record->GetButton());
    }
}

std::size_t CDialogManager::Count()
{
    const Lock lock(m_lock);
    return m_records.size();
}
