// Messages and questions of the list operations. The window shows them as
// message boxes; the tests record and answer them.
#pragma once

#include <QString>

namespace vesko::lite {

class Prompter {
public:
    virtual ~Prompter() = default;
    // Error icon, OK.
    virtual void error(const QString& caption, const QString& text) = 0;
    // Warning icon, OK.
    virtual void warning(const QString& caption, const QString& text) = 0;
    // Information icon, Yes and No with No as the default; true for Yes.
    virtual bool confirm(const QString& caption, const QString& text) = 0;
};

}  // namespace vesko::lite
