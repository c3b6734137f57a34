#include "sales_script.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace sales_demo {
namespace {

// splitmix64: tiny, fast and identical on every platform (unlike the standard
// distributions), which keeps the script the same everywhere.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
  bool OneIn(int n) { return Below(n) == 0; }
  template <typename T, size_t N>
  const T& Pick(const std::array<T, N>& items) { return items[Below(static_cast<int>(N))]; }

 private:
  uint64_t state_;
};

// ---- literals ---------------------------------------------------------------

std::string Quoted(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}
std::string NQuoted(std::string_view text) { return "N" + Quoted(text); }

std::string Hex(const std::vector<uint8_t>& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out = "0x";
  out.reserve(2 + bytes.size() * 2);
  for (uint8_t b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::string Format(const char* pattern, auto... values) {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, pattern, values...);
  return buffer;
}

// Amount in cents as a literal with two decimals.
std::string Cents(int64_t cents) {
  const char* sign = cents < 0 ? "-" : "";
  if (cents < 0) cents = -cents;
  return Format("%s%lld.%02lld", sign, static_cast<long long>(cents / 100),
                static_cast<long long>(cents % 100));
}

struct Date {
  int year, month, day;
};

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }
int DaysIn(int year, int month) {
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : days[month - 1];
}
Date AddDays(Date d, int n) {
  for (; n > 0; --n) {
    if (++d.day > DaysIn(d.year, d.month)) {
      d.day = 1;
      if (++d.month > 12) d.month = 1, ++d.year;
    }
  }
  return d;
}
std::string DateText(Date d) { return Format("'%04d-%02d-%02d'", d.year, d.month, d.day); }
std::string DateTimeText(Date d, int hour, int minute, int second) {
  return Format("'%04d-%02d-%02d %02d:%02d:%02d'", d.year, d.month, d.day, hour, minute, second);
}

std::string Guid(Random& random) {
  const uint64_t a = random.Next(), b = random.Next();
  return Format("'%08llX-%04llX-%04llX-%04llX-%012llX'", (unsigned long long)(a >> 32),
                (unsigned long long)((a >> 16) & 0xFFFF), (unsigned long long)(a & 0xFFFF),
                (unsigned long long)(b >> 48), (unsigned long long)(b & 0xFFFFFFFFFFFFull));
}

// A small 24-bit Windows bitmap with a pattern of its own per seed, so the
// photo columns hold real, viewable pictures.
std::vector<uint8_t> Bitmap(int width, int height, uint64_t seed) {
  const int rowBytes = (width * 3 + 3) & ~3;
  const uint32_t pixelBytes = static_cast<uint32_t>(rowBytes * height);
  const uint32_t fileBytes = 54 + pixelBytes;
  std::vector<uint8_t> out;
  auto u16 = [&](uint32_t v) { out.push_back(v & 0xFF), out.push_back((v >> 8) & 0xFF); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  out.push_back('B'), out.push_back('M');
  u32(fileBytes), u32(0), u32(54);
  u32(40), u32(width), u32(height), u16(1), u16(24), u32(0), u32(pixelBytes), u32(2835), u32(2835),
      u32(0), u32(0);
  Random random(seed);
  const uint8_t base[3] = {static_cast<uint8_t>(random.Below(256)),
                           static_cast<uint8_t>(random.Below(256)),
                           static_cast<uint8_t>(random.Below(256))};
  const int cx = width / 2, cy = height / 2, r2 = (width / 3) * (width / 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool inside = (x - cx) * (x - cx) + (y - cy) * (y - cy) < r2;
      for (int c = 0; c < 3; ++c) {
        out.push_back(inside ? static_cast<uint8_t>(255 - base[c]) : static_cast<uint8_t>(base[c] ^ (x * 4 + y * 2)));
      }
    }
    for (int pad = width * 3; pad < rowBytes; ++pad) out.push_back(0);
  }
  return out;
}

// ---- names ------------------------------------------------------------------

// Unicode on purpose: German, Polish, Greek, Japanese, Turkish, Spanish,
// Danish and Cyrillic names travel through nvarchar, nchar and ntext.
constexpr std::array<std::string_view, 24> kCompanyWords = {
    "Alfreds", "Königlich", "Łódzkie", "Ελληνικά", "東京", "Café", "Sørensen", "Bólido",
    "Frankenversand", "Großhandel", "Mère Paillarde", "O'Hara's", "Ümit", "Москва", "Québec",
    "Wartian", "Vaffeljernet", "Hungry Owl", "Lonesome Pine", "Océano", "Rattlesnake", "Zürich",
    "Split Rail", "Tortuga"};
constexpr std::array<std::string_view, 12> kCompanyKinds = {
    "Futterkiste", "Delikatessen", "Smaki", "Τρόφιμα", "食品", "Ñandú", "Fisk", "Comidas",
    "Trading", "Markt", "Gıda", "Продукты"};
constexpr std::array<std::string_view, 20> kFirstNames = {
    "Maria", "Ana", "Antonio", "Thomas", "Christina", "Hanna", "Frédérique", "Martín",
    "Laurence", "Elizabeth", "Victoria", "Patricio", "Yang", "Pedro", "Åsa", "Zoë",
    "Jytte", "Kari", "Paweł", "Δημήτρης"};
constexpr std::array<std::string_view, 20> kLastNames = {
    "Anders", "Trujillo", "Moreno", "Hardy", "Berglund", "Moos", "Citeaux", "Sommer",
    "Lebihan", "Lincoln", "Ashworth", "Simpson", "Wang", "Afonso", "Müller", "O'Brien",
    "Petersen", "Nagy", "Wiśniewski", "Παπαδόπουλος"};

struct Place {
  std::string_view city, country, region;  // empty region: NULL
};
constexpr std::array<Place, 16> kPlaces = {{
    {"Berlin", "Germany", ""},       {"México D.F.", "Mexico", ""},
    {"London", "UK", ""},            {"Luleå", "Sweden", ""},
    {"Mannheim", "Germany", ""},     {"Strasbourg", "France", ""},
    {"Madrid", "Spain", ""},         {"Marseille", "France", ""},
    {"Tsawassen", "Canada", "BC"},   {"Buenos Aires", "Argentina", ""},
    {"São Paulo", "Brazil", "SP"},   {"Portland", "USA", "OR"},
    {"Kraków", "Poland", ""},        {"Θεσσαλονίκη", "Greece", ""},
    {"大阪", "Japan", ""},            {"Århus", "Denmark", ""},
}};

constexpr std::array<std::string_view, 30> kProductWords = {
    "Chai", "Chang", "Aniseed Syrup", "Cajun Seasoning", "Gumbo Mix", "Boysenberry Spread",
    "Dried Pears", "Cranberry Sauce", "Kobe Niku", "Ikura", "Queso Cabrales", "Queso Manchego",
    "Konbu", "Tofu", "Genen Shouyu", "Pavlova", "Alice Mutton", "Carnarvon Tigers",
    "Teatime Biscuits", "Marmalade", "Scones", "Thüringer Rostbratwurst", "Nord-Ost Matjeshering",
    "Gorgonzola", "Mascarpone", "Gravad lax", "Côte de Blaye", "Chartreuse verte",
    "Boston Crab Meat", "Røgede sild"};
constexpr std::array<std::string_view, 6> kProductSizes = {"Classic", "Fine", "Organic",
                                                           "Extra", "Reserve", "Light"};
constexpr std::array<std::string_view, 8> kPackages = {
    "10 boxes x 20 bags", "24 - 12 oz bottles", "12 - 550 ml bottles", "48 - 6 oz jars",
    "36 boxes", "12 - 8 oz jars", "1 kg pkg.", "500 g"};
constexpr std::array<std::string_view, 8> kTitles = {
    "Sales Representative", "Vice President, Sales", "Sales Manager", "Inside Sales Coordinator",
    "Sales Representative", "Chef de vente", "Vertriebsleiterin", "Συντονιστής πωλήσεων"};

// Two picks joined by a blank. The picks are separate statements: the order in
// which the operands of one expression are evaluated is unspecified, and the
// script must not depend on the compiler.
template <size_t N, size_t M>
std::string TwoWords(Random& random, const std::array<std::string_view, N>& first,
                     const std::array<std::string_view, M>& second) {
  std::string text(random.Pick(first));
  text += ' ';
  text += random.Pick(second);
  return text;
}

std::string Phone(Random& random) {
  const int area = 100 + random.Below(900);
  const int exchange = random.Below(1000);
  const int line = random.Below(10000);
  return Quoted(Format("(%d) %03d-%04d", area, exchange, line));
}

// ---- the script -------------------------------------------------------------

constexpr int kRowsPerBatch = 250;

class ScriptWriter {
 public:
  explicit ScriptWriter(std::ostream& out) : out_(out) {}
  void Line(std::string_view text) { out_ << text << '\n'; }
  void Go() { out_ << "GO\n"; rowsInBatch_ = 0; }
  // INSERT statements are grouped into batches of a few hundred rows.
  void Insert(std::string_view table, std::string_view columns, const std::vector<std::string>& values) {
    out_ << "INSERT INTO " << table << " (" << columns << ") VALUES (";
    for (size_t i = 0; i < values.size(); ++i) out_ << (i ? ", " : "") << values[i];
    out_ << ");\n";
    if (++rowsInBatch_ == kRowsPerBatch) Go();
  }
  void EndInserts() {
    if (rowsInBatch_ > 0) Go();
  }

 private:
  std::ostream& out_;
  int rowsInBatch_ = 0;
};

constexpr std::string_view kSchema = R"sql(CREATE TABLE Customers (
    CustomerID nchar(5) NOT NULL PRIMARY KEY,
    CompanyName nvarchar(40) NOT NULL,
    ContactName nvarchar(30) NULL,
    ContactTitle nvarchar(30) NULL,
    Address varchar(60) NULL,
    City nvarchar(15) NULL,
    Region nvarchar(15) NULL,
    PostalCode varchar(10) NULL,
    Country nvarchar(15) NOT NULL DEFAULT N'USA',
    Phone varchar(24) NULL,
    Fax varchar(24) NULL,
    CustomerGuid uniqueidentifier NOT NULL,
    CustomerSince date NULL
);
CREATE TABLE Employees (
    EmployeeID int IDENTITY(1,1) NOT NULL PRIMARY KEY,
    LastName nvarchar(20) NOT NULL,
    FirstName nvarchar(10) NOT NULL,
    Title nvarchar(30) NULL,
    BirthDate datetime NULL,
    HireDate smalldatetime NULL CONSTRAINT DF_Employees_HireDate DEFAULT (getdate()),
    Extension char(4) NULL,
    Salary money NULL,
    ShiftStart time(0) NULL,
    Photo varbinary(max) NULL,
    Notes ntext NULL,
    ReportsTo int NULL
);
CREATE TABLE Products (
    ProductID int IDENTITY(1,1) NOT NULL PRIMARY KEY,
    ProductName nvarchar(40) NOT NULL,
    QuantityPerUnit varchar(20) NULL,
    UnitPrice money NULL DEFAULT (0),
    UnitsInStock smallint NULL DEFAULT (0),
    ReorderLevel tinyint NULL CONSTRAINT DF_Products_ReorderLevel DEFAULT ((5)),
    Discontinued bit NOT NULL DEFAULT (0),
    ShippingWeight real NULL,
    Description text NULL,
    Picture image NULL,
    CONSTRAINT CK_Products_UnitPrice CHECK (UnitPrice >= 0)
);
CREATE TABLE Orders (
    OrderID int IDENTITY(1,1) NOT NULL PRIMARY KEY,
    CustomerID nchar(5) NOT NULL REFERENCES Customers (CustomerID),
    EmployeeID int NULL,
    OrderDate datetime NOT NULL CONSTRAINT DF_Orders_OrderDate DEFAULT (getdate()),
    RequiredDate date NULL,
    ShippedDate smalldatetime NULL,
    EnteredAt datetime2(3) NOT NULL,
    Freight money NOT NULL DEFAULT (0),
    ShipName nvarchar(40) NULL,
    ShipCity nvarchar(15) NULL,
    ShipCountry nvarchar(15) NULL DEFAULT ('USA'),
    TrackingID uniqueidentifier NULL,
    Comments nvarchar(max) NULL,
    RowVersion timestamp
);
CREATE TABLE [Order Details] (
    OrderID int NOT NULL,
    ProductID int NOT NULL,
    UnitPrice money NOT NULL,
    Quantity smallint NOT NULL DEFAULT (1),
    Discount real NOT NULL DEFAULT (0),
    LineTotal decimal(12,2) NULL,
    CONSTRAINT PK_Order_Details PRIMARY KEY (OrderID, ProductID)
);
CREATE TABLE counter (
    counter_id int IDENTITY(1,1) NOT NULL PRIMARY KEY,
    name varchar(30) NOT NULL CONSTRAINT UQ_counter_name UNIQUE,
    hits bigint NOT NULL DEFAULT (0),
    last_hit datetime2 NULL
);
CREATE TABLE TypeSamples (
    SampleID int NOT NULL PRIMARY KEY,
    c_int int NULL,
    c_smallint smallint NULL,
    c_tinyint tinyint NULL,
    c_bigint bigint NULL,
    c_bit bit NULL,
    c_decimal decimal(18,4) NULL,
    c_numeric numeric(9,2) NULL,
    c_money money NULL,
    c_smallmoney smallmoney NULL,
    c_float float NULL,
    c_real real NULL,
    c_datetime datetime NULL,
    c_smalldatetime smalldatetime NULL,
    c_date date NULL,
    c_time time(7) NULL,
    c_datetime2 datetime2(7) NULL,
    c_char char(10) NULL,
    c_varchar varchar(50) NULL,
    c_nchar nchar(10) NULL,
    c_nvarchar nvarchar(50) NULL,
    c_nvarcharmax nvarchar(max) NULL,
    c_text text NULL,
    c_ntext ntext NULL,
    c_binary binary(4) NULL,
    c_varbinary varbinary(16) NULL,
    c_varbinarymax varbinary(max) NULL,
    c_image image NULL,
    c_timestamp timestamp,
    c_guid uniqueidentifier NULL
);
GO
CREATE UNIQUE INDEX IX_Products_ProductName ON Products (ProductName);
CREATE INDEX IX_Employees_Name ON Employees (LastName, FirstName);
CREATE INDEX IX_Orders_OrderDate ON Orders (OrderDate DESC);
CREATE INDEX IX_Orders_CustomerID ON Orders (CustomerID);
CREATE INDEX IX_Order_Details_ProductID ON [Order Details] (ProductID);
ALTER TABLE Employees ADD CONSTRAINT FK_Employees_Employees FOREIGN KEY (ReportsTo) REFERENCES Employees (EmployeeID);
ALTER TABLE Orders ADD CONSTRAINT FK_Orders_Employees FOREIGN KEY (EmployeeID) REFERENCES Employees (EmployeeID);
ALTER TABLE [Order Details] ADD CONSTRAINT FK_Order_Details_Orders FOREIGN KEY (OrderID)
    REFERENCES Orders (OrderID) ON DELETE CASCADE;
ALTER TABLE [Order Details] ADD CONSTRAINT FK_Order_Details_Products FOREIGN KEY (ProductID)
    REFERENCES Products (ProductID);
GO
)sql";

constexpr std::string_view kViews = R"sql(CREATE VIEW [Customer List] AS
SELECT CustomerID, CompanyName, City, Country FROM Customers;
GO
)sql";

struct Customer {
  std::string id;
};

std::vector<std::string> WriteCustomers(ScriptWriter& script, Random& random) {
  std::vector<std::string> ids;
  std::set<std::string> names;
  for (int i = 0; i < kCustomerCount; ++i) {
    std::string name;
    do {
      name = TwoWords(random, kCompanyWords, kCompanyKinds);
      if (names.count(name)) name += " " + std::to_string(i);
    } while (names.count(name));
    names.insert(name);
    // Five letters, unique by construction: three from a fixed list and two from the index.
    static constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string id;
    for (int k = 0; k < 3; ++k) id += kLetters[random.Below(26)];
    id += kLetters[(i / 26) % 26];
    id += kLetters[i % 26];
    ids.push_back(id);

    const Place& place = random.Pick(kPlaces);
    const std::string contact = TwoWords(random, kFirstNames, kLastNames);
    const int street = 1 + random.Below(250);
    // One address in thirteen has a Latin-1 letter: varchar is code page 1252, not ASCII.
    const std::string address = (i % 13 == 0 ? "Hauptstraße " : "Obere Str. ") + std::to_string(street);
    const Date since = AddDays({1992, 1, 1}, random.Below(3000));
    script.Insert("Customers",
                  "CustomerID, CompanyName, ContactName, ContactTitle, Address, City, Region, "
                  "PostalCode, Country, Phone, Fax, CustomerGuid, CustomerSince",
                  {NQuoted(id), NQuoted(name), i % 17 == 5 ? "NULL" : NQuoted(contact),
                   i % 7 == 3 ? "NULL" : NQuoted(random.Pick(kTitles)), Quoted(address),
                   NQuoted(place.city), place.region.empty() ? "NULL" : NQuoted(place.region),
                   Quoted(Format("%05d", random.Below(100000))), NQuoted(place.country),
                   Phone(random), i % 4 == 0 ? Phone(random) : "NULL",
                   Guid(random), i % 11 == 0 ? "NULL" : DateText(since)});
  }
  script.EndInserts();
  return ids;
}

std::string EmployeeNotes(Random& random, int employee) {
  static constexpr std::array<std::string_view, 6> kSentences = {
      "Education includes a BA in psychology from Colorado State University. ",
      "Fluent in French and German; reads Greek (ελληνικά) and Japanese (日本語). ",
      "Joined the company as a sales representative and was promoted twice. ",
      "Member of the Sales Management Roundtable and of Toastmasters International. ",
      "Completed \"The Art of the Cold Call\" and the O'Neill negotiation course. ",
      "Prefers orders by fax; answers e-mail before 9 a.m. (MEZ/CET). "};
  std::string notes;
  // The longest notes pass 4,000 characters, the limit of an nvarchar(n) column.
  const int sentences = employee == 3 ? 80 : 2 + random.Below(8);
  for (int i = 0; i < sentences; ++i) notes += random.Pick(kSentences);
  return notes;
}

void WriteEmployees(ScriptWriter& script, Random& random) {
  for (int i = 1; i <= kEmployeeCount; ++i) {
    const Date birth = AddDays({1937, 9, 19}, random.Below(12000));
    const Date hire = AddDays({1992, 4, 1}, random.Below(1500));
    script.Insert(
        "Employees",
        "LastName, FirstName, Title, BirthDate, HireDate, Extension, Salary, ShiftStart, Photo, "
        "Notes, ReportsTo",
        {NQuoted(random.Pick(kLastNames)), NQuoted(random.Pick(kFirstNames)),
         NQuoted(random.Pick(kTitles)), i == 7 ? "NULL" : DateTimeText(birth, 0, 0, 0),
         DateTimeText(hire, 8 + i % 3, (i * 15) % 60, 0), Quoted(Format("%04d", 3000 + random.Below(7000))),
         Cents(2500000 + random.Below(9000000)), i % 5 == 0 ? "NULL" : Format("'%02d:%02d:00'", 6 + i % 4, (i * 10) % 60),
         i == 9 ? "NULL" : Hex(Bitmap(48, 48, 1000 + i)),
         i == 11 ? "NULL" : NQuoted(EmployeeNotes(random, i)),
         i <= 2 ? "NULL" : std::to_string(1 + random.Below(2))});
  }
  script.EndInserts();
}

std::vector<int64_t> WriteProducts(ScriptWriter& script, Random& random) {
  std::vector<int64_t> prices;  // cents, by ProductID - 1
  for (int i = 1; i <= kProductCount; ++i) {
    const std::string name = TwoWords(random, kProductWords, kProductSizes) + " " + std::to_string(i);
    const int64_t cents = 250 + random.Below(26000);
    const int weightKg = random.Below(40);
    const int weightTenths = random.Below(10);
    const bool bySea = random.Pick(kCompanyKinds) == "Trading";
    const int batch = random.Below(100000);
    prices.push_back(cents);
    std::vector<std::string> values = {
        NQuoted(name), i % 19 == 0 ? "NULL" : Quoted(random.Pick(kPackages)), Cents(cents),
        std::to_string(random.Below(130)), i % 9 == 0 ? "NULL" : std::to_string(random.Below(31)),
        Format("%d.%d", weightKg, weightTenths),
        i % 3 == 0 ? "NULL"
                   : Quoted(std::string("Imported by ") + (bySea ? "sea" : "air") +
                            "; store below 25 C. Batch " + std::to_string(batch) + "."),
        i % 10 == 1 ? Hex(Bitmap(16, 16, 5000 + i)) : "NULL"};
    // Every fourth product leaves Discontinued to its default.
    if (i % 4 == 0) {
      script.Insert("Products",
                    "ProductName, QuantityPerUnit, UnitPrice, UnitsInStock, ReorderLevel, "
                    "ShippingWeight, Description, Picture",
                    values);
    } else {
      values.insert(values.begin() + 5, i % 7 == 0 ? "1" : "0");
      script.Insert("Products",
                    "ProductName, QuantityPerUnit, UnitPrice, UnitsInStock, ReorderLevel, "
                    "Discontinued, ShippingWeight, Description, Picture",
                    values);
    }
  }
  script.EndInserts();
  return prices;
}

void WriteOrders(ScriptWriter& script, Random& random, const std::vector<std::string>& customers,
                 const std::vector<int64_t>& prices) {
  static constexpr std::array<std::string_view, 5> kComments = {
      "Leave at the back door.", "Call before delivery – 24 h.", "Fragile: glass bottles!",
      "Rechnung an die Zentrale.", "Livraison le matin, s'il vous plaît."};
  std::vector<std::vector<std::string>> details;
  for (int order = 1; order <= kOrderCount; ++order) {
    const Date ordered = AddDays({1996, 7, 4}, order * 1000 / kOrderCount + random.Below(3));
    const bool shipped = order <= kOrderCount - 60 && order % 23 != 0;
    const int hour = 8 + random.Below(10), minute = random.Below(60), second = random.Below(60);
    const Place& place = random.Pick(kPlaces);
    const Date shippedOn = AddDays(ordered, 1 + order % 9);
    script.Insert("Orders",
                  "CustomerID, EmployeeID, OrderDate, RequiredDate, ShippedDate, EnteredAt, Freight, "
                  "ShipName, ShipCity, ShipCountry, TrackingID, Comments",
                  {NQuoted(customers[random.Below(kCustomerCount)]),
                   order % 31 == 0 ? "NULL" : std::to_string(1 + random.Below(kEmployeeCount)),
                   DateTimeText(ordered, hour, minute, second), DateText(AddDays(ordered, 28)),
                   shipped ? DateTimeText(shippedOn, 9 + order % 8, (order * 7) % 60, 0) : "NULL",
                   Format("'%04d-%02d-%02d %02d:%02d:%02d.%03d'", ordered.year, ordered.month,
                          ordered.day, hour, minute, second, random.Below(1000)),
                   Cents(random.Below(100000)),
                   NQuoted(TwoWords(random, kCompanyWords, kCompanyKinds)),
                   NQuoted(place.city), NQuoted(place.country),
                   order % 3 == 0 ? "NULL" : Guid(random),
                   order % 5 == 0 ? NQuoted(random.Pick(kComments)) : "NULL"});

    // Four lines on every fifth order and two on the others: 6,000 in all,
    // each product at most once per order (the two-column key).
    const int lines = order % 5 == 0 ? 4 : 2;
    std::set<int> products;
    while (static_cast<int>(products.size()) < lines) products.insert(1 + random.Below(kProductCount));
    for (int product : products) {
      const int quantity = 1 + random.Below(60);
      const int discountPercent = random.OneIn(4) ? 5 * (1 + random.Below(5)) : 0;
      const int64_t price = prices[product - 1];
      const int64_t total = price * quantity * (100 - discountPercent) / 100;
      details.push_back({std::to_string(order), std::to_string(product), Cents(price),
                         std::to_string(quantity), Format("%.2f", discountPercent / 100.0),
                         order % 41 == 0 ? "NULL" : Cents(total)});
    }
  }
  script.EndInserts();
  for (const auto& values : details) {
    script.Insert("[Order Details]", "OrderID, ProductID, UnitPrice, Quantity, Discount, LineTotal", values);
  }
  script.EndInserts();
}

void WriteCounters(ScriptWriter& script) {
  static constexpr std::array<std::string_view, kCounterCount> kNames = {
      "home page", "catalog", "order form", "newsletter", "support", "unused"};
  for (int i = 0; i < kCounterCount; ++i) {
    if (i == kCounterCount - 1) {  // never hit: default count, no date
      script.Insert("counter", "name", {Quoted(kNames[i])});
    } else {
      script.Insert("counter", "name, hits, last_hit",
                    {Quoted(kNames[i]), std::to_string(1234567890123LL * (i + 1) % 9876543210987LL),
                     Format("'2024-0%d-1%d 12:3%d:45.1234567'", i + 1, i, i)});
    }
  }
  script.EndInserts();
}

// One ordinary row, the smallest and the largest value of every type, and a row of NULLs.
void WriteTypeSamples(ScriptWriter& script) {
  constexpr std::string_view kColumns =
      "SampleID, c_int, c_smallint, c_tinyint, c_bigint, c_bit, c_decimal, c_numeric, c_money, "
      "c_smallmoney, c_float, c_real, c_datetime, c_smalldatetime, c_date, c_time, c_datetime2, "
      "c_char, c_varchar, c_nchar, c_nvarchar, c_nvarcharmax, c_text, c_ntext, c_binary, "
      "c_varbinary, c_varbinarymax, c_image, c_guid";
  std::string longText;
  for (int i = 0; i < 300; ++i) longText += "Zeile " + std::to_string(i) + ": ÄÖÜ äöü ß € — ";
  std::vector<uint8_t> blob(5000);
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<uint8_t>(i * 7 + (i >> 8));

  script.Insert("TypeSamples", kColumns,
                {"1", "42", "-7", "200", "1234567890123", "1", "12345.6789", "-1234.56",
                 "19.9900", "-3.5000", "3.14159265358979", "2.5", "'2024-02-29 13:45:30.123'",
                 "'2024-02-29 13:45:00'", "'2024-02-29'", "'13:45:30.1234567'",
                 "'2024-02-29 13:45:30.1234567'", "'abc'", "'Grüße aus Köln'", "N'Ωμέγα'",
                 "N'Straße – 東京 – Ελλάδα'", NQuoted(longText), Quoted("plain text, no accents"),
                 NQuoted("Unicode ntext: Zoë, Łódź, Αθήνα, 大阪"), "0x00FF10AB", "0xDEADBEEF",
                 Hex(blob), Hex(Bitmap(8, 8, 77)), "'6F9619FF-8B86-D011-B42D-00C04FC964FF'"});
  script.Insert("TypeSamples", kColumns,
                {"2", "-2147483648", "-32768", "0", "-9223372036854775808", "0",
                 "-99999999999999.9999", "-9999999.99", "-922337203685477.5808", "-214748.3648",
                 "-1.79E+308", "-3.40E+38", "'1753-01-01 00:00:00'", "'1900-01-01 00:00:00'",
                 // The earliest day an Access file can hold, so the whole demo converts.
                 "'0100-01-01'", "'00:00:00'", "'0100-01-01 00:00:00'", "''", "''", "N''", "N''",
                 "N''", "''", "N''", "0x00000000", "0x", "0x", "0x",
                 "'00000000-0000-0000-0000-000000000000'"});
  script.Insert("TypeSamples", kColumns,
                {"3", "2147483647", "32767", "255", "9223372036854775807", "1",
                 "99999999999999.9999", "9999999.99", "922337203685477.5807", "214748.3647",
                 "1.79E+308", "3.40E+38", "'9999-12-31 23:59:59.997'", "'2079-06-06 23:59:00'",
                 "'9999-12-31'", "'23:59:59.9999999'", "'9999-12-31 23:59:59.9999999'",
                 "'ZZZZZZZZZZ'", Quoted(std::string(50, 'y')), "N'ÿÿÿÿÿÿÿÿÿÿ'",
                 NQuoted(std::string(50, 'x')), NQuoted(std::string(20000, 'w')),
                 Quoted(std::string(9000, 't')), NQuoted(std::string(9000, 'n')), "0xFFFFFFFF",
                 "0xFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", Hex(std::vector<uint8_t>(70000, 0xAB)),
                 Hex(std::vector<uint8_t>(9000, 0xCD)), "'FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF'"});
  script.Insert("TypeSamples", "SampleID", {"4"});
  script.EndInserts();
}

}  // namespace

void WriteSalesScript(std::ostream& out) {
  ScriptWriter script(out);
  script.Line("-- Sales: the demo database. Generated; run it on an empty server or data folder.");
  script.Line("CREATE DATABASE Sales;");
  script.Go();
  script.Line("USE Sales;");
  script.Go();
  out << kSchema;

  Random random(20240229);
  const auto customers = WriteCustomers(script, random);
  WriteEmployees(script, random);
  const auto prices = WriteProducts(script, random);
  WriteOrders(script, random, customers, prices);
  WriteCounters(script);
  WriteTypeSamples(script);
  out << kViews;
}

}  // namespace sales_demo
