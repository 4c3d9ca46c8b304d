-- Pervasive, phase one: new tables and the standard grid rows
-- One statement per line, sent exactly as written, in this order; statements are
-- numbered from 1 by their position. Lines that start with "--@" are directives:
--   --@progress N            set the progress bar to N
--   --@probe QUERY           run the GridColumns probe with QUERY
--   --@probe-deletes SQL     the probe removes the row it found with SQL
--   --@if-probe true|false   the lines up to --@end-if run only on that answer
--   --@migration             run the item-comment migration
--   --@after-success N       send the next statement only if statement N succeeded
--                            in this run (a drop that follows the copy of its values)
--   --@after-migration       send the next statement only after a complete migration
-- Other lines that start with "--" are comments.
CREATE TABLE GridColumns(ColumnID IDENTITY DEFAULT '0' NOT NULL, ColName VARCHAR(30) NOT NULL, ColOrder TINYINT DEFAULT '0' NOT NULL, ColShow TINYINT DEFAULT '1' NOT NULL, ColEdit TINYINT DEFAULT '0' NOT NULL,ColWidth INTEGER DEFAULT '0' NOT NULL, PRIMARY KEY (ColumnID))
CREATE TABLE PricePermission(UserName VARCHAR(20) NOT NULL, DisallowAll TINYINT DEFAULT '1' NOT NULL, NoProfit TINYINT DEFAULT '0' NOT NULL, NoBasePrice TINYINT DEFAULT '0' NOT NULL, NoDiscount TINYINT DEFAULT '0' NOT NULL, NoTaxes TINYINT DEFAULT '0' NOT NULL, NoCustomer TINYINT DEFAULT '0' NOT NULL, NoCharges TINYINT DEFAULT '0' NOT NULL, PRIMARY KEY (UserName))
CREATE TABLE CustItemMap(MapID IDENTITY DEFAULT '0' NOT NULL, AccpacID VARCHAR(20) NOT NULL, APItem VARCHAR(30) NOT NULL, CustItem VARCHAR(30) NOT NULL, Description VARCHAR(60), PRIMARY KEY (MapID))
CREATE TABLE OptionalAR52(CustomerID INTEGER NOT NULL,optNumber TINYINT NOT NULL,optName VARCHAR(50) NOT NULL,optTable VARCHAR(10),optValue VARCHAR(50),optDesc VARCHAR(60), PRIMARY KEY (CustomerID,optNumber));
CREATE TABLE OptionalIC52(ItemID INTEGER NOT NULL,optNumber TINYINT NOT NULL,optName VARCHAR(50) NOT NULL,optTable VARCHAR(10),optValue VARCHAR(50),optDesc VARCHAR(60), PRIMARY KEY (ItemID,optNumber));
CREATE TABLE OptionalOE52(QuoteID INTEGER NOT NULL,optNumber TINYINT NOT NULL,optName VARCHAR(50) NOT NULL,optTable VARCHAR(10),optValue VARCHAR(50),optDesc VARCHAR(60), PRIMARY KEY (QuoteID,optNumber));
--@progress 5
CREATE TABLE DLocRange (DLRID IDENTITY DEFAULT '0' NOT NULL, RName VARCHAR(20) NOT NULL, RStart VARCHAR(20) NOT NULL, REnd VARCHAR(20) NOT NULL, PRIMARY KEY (DLRID))
--@probe SELECT * FROM GridColumns WHERE (ColumnID = 1)
--@probe-deletes DELETE FROM GridColumns WHERE ColumnID = 1
--@if-probe true
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Line',1,1,0,435)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Line Type',2,1,0,885)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Item Type',3,1,0,1245)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Item Number',4,1,1,1305)
--@progress 10
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Customer Item',5,1,1,1230)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Description',6,1,1,2640)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Quantity',7,1,1,900)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Qty Avail',8,1,1,900)
--@progress 15
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Qty BO',9,1,1,900)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Quote UOM',10,1,1,990)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Unit Price',11,1,1,1050)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Pricing UOM',12,1,0,1035)
--@progress 20
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Base Price',13,1,1,990)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Item Total',14,1,0,1200)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Discount %',15,1,1,1110)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Discount Amount',16,1,1,1380)
--@progress 25
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Discounted Amt.',17,1,0,1305)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Item Cost',18,1,1,1110)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Profit',19,1,1,900)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Margin',20,1,1,975)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Exp Ship Date',21,1,1,1110)
--@progress 30
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Price List',22,1,1,960)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Location',23,1,1,1110)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Category',24,1,1,900)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Ext Weight',25,1,1,960)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Comments/Instructions',26,1,0,1710)
--@end-if
CREATE TABLE MultiTrans(QuoteID IDENTITY DEFAULT '0' NOT NULL, RName VARCHAR(20) NOT NULL, PRIMARY KEY (QuoteID, RName))
CREATE TABLE TerrVal (TerritoryID IDENTITY DEFAULT '0' NOT NULL, TerrUser VARCHAR(20), TerrValue VARCHAR(6), PRIMARY KEY (TerritoryID))
CREATE TABLE CustQuota (QuotaID IDENTITY DEFAULT '0' NOT NULL, AccpacID VARCHAR(20) NOT NULL, qaStart DATE, qaEnd DATE, qaValue DECIMAL(10,2) DEFAULT '0' NOT NULL, qaUsed DECIMAL(10,2) DEFAULT '0' NOT NULL, qaFilled DATE, qaUserEnter VARCHAR(20), qaDateEnter DATE, PRIMARY KEY (QuotaID))
CREATE TABLE CateQuota (CatQuotaID IDENTITY DEFAULT '0' NOT NULL, Category VARCHAR(15), DrawDown DECIMAL(18,2) DEFAULT '1' NOT NULL, UserEnter VARCHAR(20), DateEnter DATE, UserModify VARCHAR(20), DateModify DATE, PRIMARY KEY (CatQuotaID))
CREATE TABLE CreditNote (CNID IDENTITY DEFAULT '0' NOT NULL, CNNumber VARCHAR(30), CustNumber VARCHAR(20) NOT NULL, InvNumber VARCHAR(30), PONumber VARCHAR(30), CNDate DATE, ReturnDate DATE, ShipToLoc VARCHAR(10), Location VARCHAR(10), Description VARCHAR(60), Reference VARCHAR(60), InvDate DATE, OrderNum VARCHAR(30), Exported BIT DEFAULT '0' NOT NULL, EnteredBy VARCHAR(20), Entered DATE, ModifiedBy VARCHAR(20), Modified DATE, PRIMARY KEY (CNID))
CREATE TABLE CNDetail (CNID INTEGER NOT NULL, LineNum INTEGER NOT NULL, LineType TINYINT DEFAULT '0' NOT NULL, CreditType TINYINT DEFAULT '0' NOT NULL, ItemNum VARCHAR(30), ItemDesc VARCHAR(60), QtyShipped DECIMAL(18, 4) DEFAULT '0' NOT NULL, QtyReturn DECIMAL(18, 4) DEFAULT '0' NOT NULL, CNUnit VARCHAR(10), ConvFactor DECIMAL(18, 4) DEFAULT '1' NOT NULL, CNPrice CURRENCY DEFAULT '0' NOT NULL, PriceList VARCHAR(10), Category VARCHAR(10), Location VARCHAR(10), TaxClass1 TINYINT NULL, TaxClass2 TINYINT NULL, TaxClass3 TINYINT NULL, TaxClass4 TINYINT NULL, TaxClass5 TINYINT NULL, TaxIncl1 BIT NULL, TaxIncl2 BIT NULL, TaxIncl3 BIT NULL, TaxIncl4 BIT NULL, TaxIncl5 BIT NULL, TRate1 DECIMAL(18, 4) NULL, TRate2 DECIMAL(18, 4) NULL, TRate3 DECIMAL(18, 4) NULL, TRate4 DECIMAL(18, 4) NULL, TRate5 DECIMAL(18, 4) NULL, PRIMARY KEY (CNID, LineNum))
CREATE TABLE CommIns (QuoteID INTEGER NOT NULL, Line INTEGER NOT NULL, CoInType TINYINT DEFAULT '0' NOT NULL, Number INTEGER NOT NULL, CommIns VARCHAR(80) NOT NULL, DateEnter DATE, UserEnter VARCHAR(20), DateModify DATE, UserModify VARCHAR(20),  PRIMARY KEY (QuoteID, Line, CoInType, Number))
CREATE TABLE OptFieldAR (CustomerID INTEGER NOT NULL, OptField VARCHAR(50) NOT NULL, ofType TINYINT, ofValue VARCHAR(60), ofVDate DATE, ofLength TINYINT, PRIMARY KEY (CustomerID, OptField))
CREATE TABLE OptFieldIC (ItemID INTEGER NOT NULL, OptField VARCHAR(50) NOT NULL, ofType TINYINT, ofValue VARCHAR(60), ofVDate DATE, ofLength TINYINT, PRIMARY KEY (ItemID, OptField))
CREATE TABLE OptFieldOE (QuoteID INTEGER NOT NULL, OptField VARCHAR(50) NOT NULL, ofType TINYINT, ofValue VARCHAR(60), ofVDate DATE, ofLength TINYINT, PRIMARY KEY (QuoteID, OptField))
CREATE TABLE QuoteConfidence (QuoteConfidID IDENTITY DEFAULT '0' NOT NULL, qcName VARCHAR(30) NOT NULL, qcCode VARCHAR(10), qcDescription VARCHAR(100), qcActive TINYINT DEFAULT '1' NOT NULL, PRIMARY KEY (QuoteConfidID))
CREATE TABLE QuoteType (QuoteTypeID IDENTITY DEFAULT '0' NOT NULL, qtName VARCHAR(30) NOT NULL, qtCode VARCHAR(10), qtDescription VARCHAR(100), qtActive TINYINT DEFAULT '1' NOT NULL, PRIMARY KEY (QuoteTypeID))
--@progress 50
