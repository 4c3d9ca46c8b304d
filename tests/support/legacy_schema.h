// A quote database of the previous version on PostgreSQL, as far as the
// statements need it: PostgreSQL then answers the Pervasive wording of the
// upgrade, with domains standing in for TINYINT and CURRENCY.
#pragma once

namespace sp::testing {

inline const char* const kLegacySchema[] = {
    "CREATE DOMAIN tinyint AS smallint",
    "CREATE DOMAIN currency AS numeric(19,4)",
    "CREATE TABLE Quote (QuoteID int PRIMARY KEY, quDiscount smallint, quLines smallint, quDateModify timestamp, "
    "quUserModify varchar(10), quAccountSet varchar(10))",
    "CREATE TABLE Details (QuoteID int, Line smallint, deHasItemCom smallint, deItemComType smallint, "
    "deItemCom varchar(250), deCost numeric(18,4), deSelected smallint, deComment varchar(100), "
    "deQuantity numeric(18,2), PRIMARY KEY (QuoteID, Line))",
    "CREATE TABLE Defaults (DefaultID int, qdSVShipTo smallint, qdSVBillTo smallint)",
    "CREATE TABLE BillTo (BillToID int)",
    "CREATE TABLE Customer (CustomerID int)",
    "CREATE TABLE ShipTo (ShipToID int)",
    "CREATE TABLE Items (ItemID int)",
    "INSERT INTO Quote VALUES (1, 5, 2, NULL, 'x', 'A'), (2, 7, 1, NULL, 'y', 'B')",
    "INSERT INTO Details VALUES (1, 1, 1, 0, 'first comment', 0, 0, 'c', 1), (1, 2, 0, 1, 'not flagged', 3, 0, 'c', 1),"
    " (2, 1, 1, 2, NULL, 0, 0, 'c', 1)",
    "INSERT INTO Defaults VALUES (1, 1, 0), (2, 0, 1)",
};

}  // namespace sp::testing
