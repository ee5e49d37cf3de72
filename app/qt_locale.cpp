#include "app/qt_locale.h"

#include <QDate>
#include <QTime>

namespace kv::app {
namespace {

// The size of the last digit group, read off a formatted number: QLocale
// groups as the locale says but does not tell the group size. 0 when the
// locale does not group.
NumberConventions ReadNumberConventions(const QLocale& locale) {
    NumberConventions n;
    n.decimalSeparator = locale.decimalPoint().toStdString();
    n.decimals = 2;
    const QString separator = locale.groupSeparator();
    const QString sample = locale.toString(1234567890ULL);
    const qsizetype last = separator.isEmpty() ? -1 : sample.lastIndexOf(separator);
    if (last < 0) {
        n.grouping = 0;
        return n;
    }
    n.thousandsSeparator = separator.toStdString();
    n.grouping = static_cast<int>(sample.size() - last - separator.size());
    return n;
}

// The locale's short time format with the seconds put in behind the minutes
// when it has none ("h:mm AP" gives "h:mm:ss AP").
QString TimeWithSeconds(const QLocale& locale) {
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (format.contains(QLatin1String("ss"))) return format;
    const qsizetype minutes = format.indexOf(QLatin1String("mm"));
    if (minutes < 0) return locale.timeFormat(QLocale::LongFormat);
    const QChar separator = minutes > 0 ? format.at(minutes - 1) : QLatin1Char(':');
    return format.insert(minutes + 2, QString(separator) + QLatin1String("ss"));
}

}  // namespace

QtLocale::QtLocale(QLocale locale)
    : locale_(std::move(locale)), numbers_(ReadNumberConventions(locale_)), timeFormat_(TimeWithSeconds(locale_)) {}

NumberConventions QtLocale::Numbers() const { return numbers_; }

std::string QtLocale::DateText(const CalendarTime& t, DateStyle style) const {
    const QDate date(t.year, t.month, t.day);
    return locale_.toString(date, style == DateStyle::Long ? QLocale::LongFormat : QLocale::ShortFormat).toStdString();
}

std::string QtLocale::TimeText(const CalendarTime& t) const {
    return locale_.toString(QTime(t.hour, t.minute, t.second), timeFormat_).toStdString();
}

}  // namespace kv::app
