#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

// The six reactions of an alert profile side. The value is the action's index
// in the editor's action lists and the position of its flag in the side's
// flag array.
enum AlertAction : int {
    aaShowMessage = 0,
    aaPlaySound = 1,
    aaExecuteProgram = 2,
    aaSendEMail = 3,
    aaSendNetMessage = 4,
    aaRebootComputer = 5,
};

constexpr int AlertActionCount = 6;
// Flags stored per side; 6 to 20 are reserved and carried unchanged.
constexpr int AlertFlagCount = 21;

// One named set of reactions. In memory the strings are QStrings; the file
// layout (1726 bytes, little-endian, Windows-1252 short strings, UTF-8 for
// text the code page cannot hold) is produced by AlertProfiles::encode and
// read by AlertProfiles::decode.
struct AlertProfile {
    static constexpr int Size = 1726;
    static constexpr int NameMax = 255;
    static constexpr int RecipientMax = 100; // mail and net-message recipients
    static constexpr int PathMax = 255;      // program and sound paths

    QString Name;
    std::array<bool, AlertFlagCount> DeadActions{};
    std::array<bool, AlertFlagCount> AliveActions{};
    QString AliveNetRecipient;
    QString DeadNetRecipient;
    QString AliveMailRecipient;
    QString DeadMailRecipient;
    QString AliveProgram;
    QString DeadProgram;
    QString AliveSound;
    QString DeadSound;
    // The record's 1726 bytes as read from the file (empty for a profile
    // made in this run). Encoding writes the fields over them, so a record
    // that was not changed is written back byte for byte: reserved flags,
    // flag bytes other than 0 and 1 and the bytes past each string's length
    // stay as they stand.
    QByteArray Stored;

    // The flag of an action on one side (false for an index outside 0 to 20).
    bool action(bool alive, int action) const;
    // The side's parameter of an action: sound file, program, mail recipient
    // or net recipient; empty for Show Message, Reboot and other indexes.
    QString parameter(bool alive, int action) const;
};

namespace AlertProfiles
{

// Field offsets of the record in "profile.dat".
enum Offset : int {
    NameOffset = 0,
    DeadActionsOffset = 256,
    AliveActionsOffset = 277,
    AliveNetRecipientOffset = 298,
    DeadNetRecipientOffset = 399,
    AliveMailRecipientOffset = 500,
    DeadMailRecipientOffset = 601,
    AliveProgramOffset = 702,
    DeadProgramOffset = 958,
    AliveSoundOffset = 1214,
    DeadSoundOffset = 1470,
};

// "Show Message", "Play Sound", "Execute External Program", "Send e-mail",
// "Send net message", "Reboot Computer"; empty outside 0 to 5.
QString actionText(int action);
// The capacity of an action's parameter field: 255 for sound and program,
// 100 for the recipients, 0 for actions without a parameter.
int parameterCapacity(int action);
// A new profile: the name (cut to 255), every flag off, every text empty.
AlertProfile newProfile(const QString &name);

// 1726 bytes in the file layout, written over the record's Stored bytes
// (zeros for a new profile): a field whose value is unchanged keeps its
// bytes; a changed flag is written as 0 or 1, a changed string as its length
// and text, the bytes after it left as they were.
QByteArray encode(const AlertProfile &profile);
// Decodes 1726 bytes and keeps them as the profile's Stored bytes.
AlertProfile decode(const char *record);

} // namespace AlertProfiles

// The ordered list of all profiles and its file "profile.dat". The editor
// window owns one; the dispatcher reads it. Every change is applied at once;
// the file is written only by save().
class AlertProfileList
{
public:
    // The editor shows this text (caption "Error") when "New" names a profile
    // that exists already.
    static constexpr const char *DuplicateNameMessage = "Alert with this name already exists";

    // An empty file name means Paths::dataFile("profile.dat"), resolved at
    // each load and save.
    explicit AlertProfileList(const QString &fileName = QString());

    QString fileName() const;
    void setFileName(const QString &fileName) { m_fileName = fileName; }

    int count() const { return int(m_profiles.size()); }
    bool isEmpty() const { return m_profiles.empty(); }
    // Profile at an index 0 .. count()-1 (read only).
    const AlertProfile &at(int index) const { return m_profiles[size_t(index)]; }
    // nullptr for an index out of range.
    const AlertProfile *profile(int index) const;
    // The names in list order: the lines of the editor's profile list.
    QStringList names() const;

    // Index of the first profile whose name equals the text as a whole,
    // ignoring letter case; -1 when none does.
    int find(const QString &name) const;

    // "New": appends a new profile and returns its index; -1 (nothing added)
    // when a profile of that name exists already, ignoring case. The name is
    // cut to 255 characters before the comparison.
    int addProfile(const QString &name);
    // Appends a complete profile as it stands (no duplicate check); for
    // loading and tests.
    void append(const AlertProfile &profile);
    // "Delete": removes the profile; false for an index out of range.
    bool remove(int index);
    void clear() { m_profiles.clear(); }

    // Switches an action of one side (index 0 to 5) on or off; false when the
    // profile or the action index is out of range.
    bool setAction(int index, bool alive, int action, bool on);
    // Stores an action's parameter on one side (actions 1 to 4), cut to the
    // field's capacity (255 for paths, 100 for recipients); false when the
    // profile or the action has no such field.
    bool setParameter(int index, bool alive, int action, const QString &text);

    // Reads the file, replacing the list. A missing file gives an empty list
    // and true. A damaged file (shorter than its count announces, a cut-off
    // record, fewer than 4 bytes) or one that cannot be read keeps the whole
    // records read before the damage and returns false with a message naming
    // the file in *problem; a negative count reads as an empty list. The
    // count is checked against the file's size before anything is read. The
    // next save() then first keeps the old file as "<name>.bak" (a copy, or
    // the file itself moved there when it cannot be read), and the message
    // says so. A folder, a pipe or a device in the file's place is never
    // opened and never replaced.
    bool load(QString *problem = nullptr);
    // Writes the count and every record atomically (in place when the folder
    // takes no new file but the file may be written): the old file survives
    // a failed write. False with a message naming the file and the cause in
    // *error.
    bool save(QString *error = nullptr);

    // The whole file's bytes for the list, and the parse of such bytes.
    QByteArray encode() const;
    // Parses file bytes into a list; false when the bytes are damaged (the
    // whole records before the damage are kept in *out).
    static bool decode(const QByteArray &bytes, std::vector<AlertProfile> *out);

    const std::vector<AlertProfile> &profiles() const { return m_profiles; }

private:
    AlertProfile *mutableAt(int index);

    QString m_fileName;
    std::vector<AlertProfile> m_profiles;
    bool m_keepDamagedCopy = false;
};
