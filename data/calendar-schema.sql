CREATE TABLE Dates (DateKey DATETIME PRIMARY KEY, DateColor TEXT(50), EventCount LONG,
                    DateNotes MEMO, DateText MEMO);
CREATE TABLE Events (EventID COUNTER PRIMARY KEY, EventName TEXT(255), AllDayEvent YESNO NOT NULL,
                     StartTime DATETIME, EndTime DATETIME, EventColor TEXT(50), EventIcon TEXT(50),
                     Notes MEMO, Recurring YESNO NOT NULL);
CREATE TABLE EventDates (EventId LONG, EventDate DATETIME);
CREATE INDEX EventId ON EventDates (EventId);
CREATE INDEX EventDate ON EventDates (EventDate);
