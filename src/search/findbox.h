#pragma once
// The "Find Binary Bytes..." dialog: a text box for the search as characters
// or as hexadecimal digits, Case Match and Hex check boxes, and Find and
// Cancel. Modeless and owned by the main window, which it drives through a
// FindHost. The bytes searched for are kept apart from the box's text, so
// that every byte value, 0 included, is searched exactly as converted.
// Cancel (or closing the window) destroys the dialog; the search state in
// FindState and MainMods::LastFindText outlives it.
#include <QDialog>
#include <QByteArray>
#include <QString>
#include <optional>

class BackgroundFind;
class FindHost;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class FindBox : public QDialog
{
    Q_OBJECT

public:
    // The most bytes the Hex box can spell: twice as many digits must fit the box.
    static constexpr int kMaxHexBytes = 32766;
    static constexpr int kMaxBoxLength = 2 * kMaxHexBytes;

    FindBox(FindHost *host, QWidget *owner);

    // The readout shown when the text holds a character that stands for no byte.
    static QString noByteText();

    // Event handlers, named after the control and the event.
    void Check2_Click();
    void Text1_KeyPress(int &KeyAscii);
    void Command2_Click();
    void Command3_Click();

    // Ends a search running beside the window without showing its result.
    void stopSearch();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // The bytes the box stands for while Hex is unticked, or nothing when it
    // holds a character with no Windows-1252 code.
    std::optional<QByteArray> boxBytes() const;
    void setBoxBytes(const QString &text, const std::optional<QByteArray> &bytes);

    FindHost *m_host;
    QLineEdit *Text1;
    QPushButton *Command2;
    QPushButton *Command3;
    QLabel *Label1;
    QCheckBox *Check1;
    QCheckBox *Check2;
    // The bytes of the text the program last put in the box, valid while the
    // box still holds that text and the user has not edited it.
    QString m_setText;
    std::optional<QByteArray> m_setBytes;
    // The search of a file read on demand, and the bytes it looks for.
    BackgroundFind *m_search;
    QByteArray m_searchNeedle;
};
