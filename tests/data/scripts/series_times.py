# Prints, as another calendar program would read them, the occurrences of one
# repeating event of an iCalendar file that fall on the given days, in
# Europe/Berlin and in UTC: series_times.py READER FILE UID YYYY-MM-DD...
# READER is icalendar or vobject (the Debian packages python3-icalendar and
# python3-vobject); the rule is expanded with dateutil.
import sys, datetime
from zoneinfo import ZoneInfo
from dateutil.rrule import rrulestr

reader, path, uid = sys.argv[1:4]
days = [datetime.date.fromisoformat(d) for d in sys.argv[4:]]
text = open(path, encoding='utf-8').read()
if reader == 'icalendar':
    import icalendar
    event = next(e for e in icalendar.Calendar.from_ical(text).walk('VEVENT') if str(e['UID']) == uid)
    start = event.decoded('DTSTART')
    rule = event['RRULE'].to_ical().decode()
    place = (lambda naive: start.tzinfo.localize(naive)) if hasattr(start.tzinfo, 'localize') \
        else (lambda naive: naive.replace(tzinfo=start.tzinfo))
else:
    import vobject
    event = next(e for e in vobject.readOne(text).vevent_list if e.uid.value == uid)
    start = event.dtstart.value
    rule = event.rrule.value
    place = lambda naive: naive.replace(tzinfo=start.tzinfo)
# A series repeats at its wall-clock time in the zone of its start.
berlin = ZoneInfo('Europe/Berlin')
for naive in rrulestr(rule, dtstart=start.replace(tzinfo=None), ignoretz=True):
    local = place(naive).astimezone(berlin)
    if local.date() in days:
        utc = place(naive).astimezone(datetime.timezone.utc)
        print(local.strftime('%Y-%m-%d %H:%M'), utc.strftime('%H:%MZ'))
    if local.date() > max(days):
        break
