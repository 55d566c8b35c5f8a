// Ids of the test string tables.
#define IDS_HELLO       1
#define IDS_SHARED      (IDS_HELLO + 1)
#define IDS_JAPANESE    0x10
#define IDS_EMPTY       17
#define IDS_ESCAPES     18
#define IDS_LONG        1000
