// Ids of the string table of the tstring tests.
#define IDS_OPS_GREETING  10
#define IDS_OPS_LONG      11
