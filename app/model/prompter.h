// Messages and questions of the list operations. The window shows them as
// message boxes; the tests record and answer them.
#pragma once

#include <QString>
#include <optional>

namespace vesko::lite {

// What to do about a file that already has the name a copy or move needs.
enum class ConflictChoice { Replace, Skip, Cancel };
struct ConflictAnswer {
    ConflictChoice choice = ConflictChoice::Cancel;
    bool forAll = false;  // the same for the files that follow
};

class Prompter {
public:
    virtual ~Prompter() = default;
    // Error icon, OK.
    virtual void error(const QString& caption, const QString& text) = 0;
    // Warning icon, OK.
    virtual void warning(const QString& caption, const QString& text) = 0;
    // Information icon, Yes and No with No as the default; true for Yes.
    virtual bool confirm(const QString& caption, const QString& text) = 0;
    // An input box prefilled with `initial`; nothing when cancelled.
    virtual std::optional<QString> askText(const QString& title, const QString& prompt, const QString& initial) = 0;
    // Replace / Skip / Cancel for a file that exists at a destination.
    virtual ConflictAnswer askConflict(const QString& caption, const QString& text) = 0;
};

}  // namespace vesko::lite
