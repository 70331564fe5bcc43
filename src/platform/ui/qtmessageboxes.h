#pragma once

#include "platform/messageboxes.h"

// Real message boxes on screen.
class QtMessageBoxes : public MessageBoxes {
public:
    MsgAnswer show(QWidget *parent, const QString &text, const QString &title, MsgButtons buttons,
                   MsgIcon icon, MsgAnswer defaultButton) override;
};
