// The user's locale as Qt knows it: digit grouping, the short date with the
// time (seconds included) for the file list, the long date for the file sheet.
#pragma once

#include <QLocale>

#include "platform/locale.h"

namespace kv::app {

class QtLocale final : public Locale {
public:
    explicit QtLocale(QLocale locale = QLocale());

    NumberConventions Numbers() const override;
    std::string DateText(const CalendarTime& t, DateStyle style) const override;
    std::string TimeText(const CalendarTime& t) const override;

private:
    QLocale locale_;
    NumberConventions numbers_;
    QString timeFormat_;
};

}  // namespace kv::app
