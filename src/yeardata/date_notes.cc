// The notes texts of the 2010 table, one paragraph of prose per observance.
//
// Special characters are written as escapes so that they stay visible in
// review: \u2019 is the typographic apostrophe, \u2013 the en dash, \" the
// plain double quote. A plain apostrophe would end the SQL literal these texts
// are written into, so the notes use the typographic one throughout; the only
// plain apostrophes are the doubled pair that closes the quoted word in the
// Epiphany note, which the database stores as one.
#include "yeardata/date_notes.h"

namespace yeardata::notes {

constexpr std::string_view kEpiphany =
    "The word Epiphany comes from the Greek epiphaneia, meaning \"appearance'' or manifestation. "
    "On 6 January the church celebrates the showing of Christ\u2019s glory to the nations in the "
    "visit of the Magi. The Epiphany season runs from 6 January to the day before Ash Wednesday. "
    "In the early Eastern church this day was first kept as the feast of the Nativity.";

constexpr std::string_view kBaptismOfTheLord =
    "The first Sunday after the Epiphany is the Baptism of the Lord. The church remembers how "
    "Jesus came to the river Jordan and was baptized by John, and how the Spirit descended on him "
    "like a dove.";

constexpr std::string_view kSouperbowlOfCaring =
    "The Souperbowl of Caring is a youth-led effort that turns the weekend of the Super Bowl, the "
    "championship game of American football, into a time of giving to the hungry. Young people "
    "collect money and food, often with soup pots at the church doors, and give every dollar and "
    "can to a food bank, soup kitchen or other charity of each group\u2019s choice in the "
    "group\u2019s own community.";

constexpr std::string_view kTransfiguration =
    "The last Sunday after the Epiphany is Transfiguration Sunday. The word \"transfiguration\" "
    "means a change of form or appearance. On a high mountain Peter, James and John saw the face "
    "of Jesus shine like the sun, and Moses and Elijah appeared and talked with him.";

constexpr std::string_view kMardiGras =
    "Mardi Gras is French for \"Fat Tuesday\", the last day before Ash Wednesday and the beginning "
    "of Lent. Since the early centuries of the church, Christians have prepared for Easter with a "
    "season of fasting, prayer and repentance, and in many places meat, eggs, butter and fat were "
    "given up for the whole of Lent. Households used up these foods on the day before the fast "
    "began, and across Europe the day grew into a festival of feasting, music and parades, known "
    "in England as Shrove Tuesday and in Germany as Fastnacht.";

constexpr std::string_view kAshWednesday =
    "Ash Wednesday is the first day of Lent, the season of forty days in which Christians prepare "
    "for Easter. The minister marks the forehead of each believer with ashes in the sign of the "
    "cross, as a reminder that we are dust and to dust we shall return. Since ancient times ashes "
    "have been a sign of repentance and of our mortality before God. The ashes are traditionally "
    "made by burning the palm fronds that were blessed and carried on the previous year\u2019s "
    "Palm Sunday, so that the joy of that day is joined to the humility with which Lent begins.";

constexpr std::string_view kSundaysInLent =
    "Lent is the season of forty days before Easter, a time of prayer, fasting, repentance and "
    "generosity to those in need. The forty days recall the forty days that Jesus fasted in the "
    "wilderness, as well as the forty years of Israel in the desert and the forty days of Moses on "
    "the mountain. In the early church Lent began as the time in which new believers prepared for "
    "baptism at Easter, and the whole congregation soon joined them in that preparation. The "
    "Sundays of Lent are not counted among the forty days, because every Sunday is a little "
    "Easter, a weekly celebration of the resurrection on which Christians do not fast.";

constexpr std::string_view kWorldDayOfPrayer =
    "The World Day of Prayer is a worldwide movement of Christian women of many traditions who "
    "come together to keep a common day of prayer on the first Friday of March each year. Each "
    "year women of one country prepare the service \u2013 its prayers, readings and hymns \u2013 "
    "and on that Friday congregations around the world pray with them, from sunrise to sunset.";

constexpr std::string_view kStPatricksDay =
    "St. Patrick\u2019s Day is the annual feast day of Saint Patrick (about 387\u2013461), the "
    "missionary bishop and patron saint who brought the Christian faith to Ireland.";

constexpr std::string_view kPalmSunday =
    "Palm Sunday marks the beginning of Holy Week, the last week of Lent. It remembers the entry "
    "of Jesus into Jerusalem, when the crowds spread their cloaks and branches of palm on the road "
    "before him and welcomed him as the king who comes in the name of the Lord.";

constexpr std::string_view kMaundyThursday =
    "On Maundy Thursday the church remembers the last supper that Jesus shared with his disciples, "
    "when he took bread and wine and instituted Holy Communion. The day is also called \"Holy "
    "Thursday\". The name \"Maundy\" comes from the Latin word \"mandatum\", meaning "
    "\"commandment\", taken from the words of Jesus after he washed the feet of the disciples: \"A "
    "new commandment I give to you, that you love one another.\"";

constexpr std::string_view kGoodFriday =
    "Good Friday commemorates the trial, crucifixion, death and burial of Jesus. On this day the "
    "altar is stripped bare and the cross and sanctuary are veiled in black, in silent witness to "
    "his suffering.";

constexpr std::string_view kGreatVigilOfEaster =
    "The Great Vigil of Easter is the first service of Easter. It is held in the hours of darkness "
    "between sunset on Holy Saturday and sunrise on Easter morning. The vigil begins with the "
    "lighting of a new fire and the Paschal candle, continues with readings that tell the story of "
    "salvation from creation onward, and moves on to baptism and the first Communion of Easter, as "
    "the church proclaims that Christ is risen.";

constexpr std::string_view kResurrection =
    "Easter Day celebrates the resurrection of Jesus Christ from the dead, the heart of the "
    "Christian faith. It begins the Easter season of 50 days that lasts until Pentecost.";

constexpr std::string_view kSundaysOfEaster =
    "The Easter season lasts 50 days, from Easter Day until the Day of Pentecost.";

constexpr std::string_view kNationalDayOfPrayer =
    "The National Day of Prayer is an annual observance held on the first Thursday of May, when "
    "people of all faiths are invited to pray for the nation. It was created in 1952 by a joint "
    "resolution of the United States Congress, signed into law by President Harry S. Truman.";

constexpr std::string_view kAscension =
    "The Ascension of the Lord is celebrated forty days after Easter, always on a Thursday. It "
    "remembers how the risen Christ was taken up into heaven before the eyes of his disciples and "
    "promised them the Holy Spirit. Together with Christmas, Easter and Pentecost, the Ascension "
    "ranks among the great feasts of the Christian year.";

constexpr std::string_view kPentecost =
    "The Day of Pentecost is often called the birthday of the Church. Fifty days after Easter the "
    "Holy Spirit came upon the disciples gathered in Jerusalem like tongues of fire, and they "
    "began to speak of God in many languages. Red is the color of the day, for the fire of the "
    "Spirit. The name comes from the Greek word for fiftieth, and the day fell on the Jewish feast "
    "of Weeks, Shavuot, kept fifty days after Passover to give thanks for the harvest and the Law.";

constexpr std::string_view kTrinitySunday =
    "Trinity Sunday, the first Sunday after Pentecost, celebrates the one God as Father, Son and "
    "Holy Spirit.";

constexpr std::string_view kAllSaintsDay =
    "All Saints Day remembers all the saints and martyrs who died for their testimony to Christ, "
    "known and unknown, throughout the ages of the church.";

constexpr std::string_view kChristTheKing =
    "Christ the King Sunday is the last Sunday of the church year, the Sunday before Advent "
    "begins. The feast was instituted in 1925 and proclaims that Christ reigns over all creation, "
    "over every nation and every heart. It gathers up the story of the whole year, from the birth "
    "of Jesus to his death and resurrection, and points ahead to his coming again in glory at the "
    "end of time.";

constexpr std::string_view kAdventHopeCandle =
    "Advent, from the Latin word for coming, is the season of four Sundays before Christmas in "
    "which the church prepares to celebrate the birth of Christ and looks forward to his coming "
    "again. It marks the beginning of the church year. On the first Sunday of Advent the first "
    "candle of the Advent wreath is lighted. It is the candle of hope, sometimes called the "
    "prophecy candle, recalling the prophets who foretold the coming of the Messiah.";

constexpr std::string_view kHangingOfTheGreens =
    "At the beginning of Advent many congregations decorate the church with evergreens in a "
    "service called the \"Hanging of the Greens\". Wreaths, garlands and trees of fir, pine and "
    "holly are brought into the sanctuary. Evergreens stay green through the winter and are a sign "
    "of eternal life in Christ, while the holly with its thorns and red berries points to the "
    "crown of thorns and the blood of his sacrifice.";

constexpr std::string_view kAdventWreath =
    "The Advent wreath is a circle of evergreen branches holding five candles. Four candles stand "
    "around the wreath, one for each Sunday of Advent, and a fifth, white candle stands in the "
    "center. One more candle is lighted each Sunday, so that the light grows as Christmas draws "
    "near, and the center candle, the Christ candle, is lighted on Christmas Eve or Christmas Day.";

constexpr std::string_view kWreathCircle =
    "The circle of the Advent wreath has no beginning and no end. It is a sign of the eternity of "
    "God, of his unending love and of the everlasting life that he offers in Christ. The green of "
    "the wreath speaks of hope and of new life, for evergreens stay green and living through the "
    "cold and darkness of winter.";

constexpr std::string_view kWreathCandles =
    "The candles of the Advent wreath stand for the light of God coming into the world through the "
    "birth of Jesus, who is the light of the world. The four outer candles stand for the four "
    "weeks of Advent, and some say for the four thousand years of waiting from Adam to the birth "
    "of the promised Savior.";

constexpr std::string_view kCandleColours =
    "Three of the four outer candles of the Advent wreath are purple or blue, the colors of the "
    "season, and one is pink or rose. A purple candle is lighted on the first Sunday, and another "
    "on the second Sunday. The pink candle is lighted on the third Sunday, when the mood of the "
    "season turns from penitence to joy. The last purple candle is lighted on the fourth Sunday, "
    "and the white Christ candle in the center is lighted on Christmas Eve.";

constexpr std::string_view kCandleMeanings =
    "Traditions differ on what each candle stands for. Many churches name them hope, peace, joy "
    "and love; others name prophets, Bethlehem, shepherds and angels.";

constexpr std::string_view kAdventPeaceCandle =
    "On the second Sunday of Advent the second candle is lighted, the candle of peace. It recalls "
    "the song of the angels: \"Peace on earth, good will to all!\"";

constexpr std::string_view kAdventJoyCandle =
    "On the third Sunday of Advent the pink candle is lighted. It is the candle of joy, for the "
    "Lord is near.";

constexpr std::string_view kAdventLoveCandle =
    "On the fourth Sunday of Advent the fourth candle is lighted, the candle of love, recalling "
    "the love of God who gave his only Son for the world. With all four candles burning, the "
    "wreath shines at its brightest as Christmas draws near. The white candle in the center, the "
    "Christ candle, is lighted on Christmas Eve or Christmas Day. It stands for Christ, the light "
    "of the world, whose coming the other candles have prepared us to celebrate.";

constexpr std::string_view kChristmasDay =
    "Christmas Day celebrates the Incarnation, the birth of Jesus Christ, in whom God became human "
    "and lived among us, full of grace. It begins the joyful Christmas season of twelve days, "
    "which ends on 5 January, the eve of the Epiphany.";

}  // namespace yeardata::notes
