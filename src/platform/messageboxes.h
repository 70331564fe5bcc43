#pragma once

#include <QString>

class QWidget;

enum class MsgButtons { Ok, YesNo };
enum class MsgIcon { None, Information, Exclamation, Critical, Question };
enum class MsgAnswer { Ok, Yes, No };

// Message boxes with a text, a title, buttons, an icon and a default button.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual MsgAnswer show(QWidget *parent, const QString &text, const QString &title,
                           MsgButtons buttons, MsgIcon icon, MsgAnswer defaultButton) = 0;
};
