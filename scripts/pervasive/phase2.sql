-- Pervasive, phase two: column and data changes
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
ALTER TABLE Quote ADD CustContact VARCHAR(60)
ALTER TABLE Quote ADD quEmail VARCHAR(60)
ALTER TABLE Quote ADD quCommNote TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Quote ADD quHomeCurr VARCHAR(10)
ALTER TABLE Quote ADD quSourceCurr VARCHAR(10)
ALTER TABLE Quote ADD quRateType VARCHAR(10)
ALTER TABLE Quote ADD quRateDate DATE
ALTER TABLE Quote ADD quRateEx DECIMAL(18,9) DEFAULT '1' NOT NULL
UPDATE Quote SET quCommNote = quDiscount
--@after-success 9
ALTER TABLE Quote DROP COLUMN quDiscount
ALTER TABLE Quote ADD quACCPACNum VARCHAR(50)
ALTER TABLE Details ADD deCustItem VARCHAR(30)
ALTER TABLE Details ADD dePickingSeq VARCHAR(10)
ALTER TABLE Details ADD deConvFactor SMALLINT DEFAULT '1' NOT NULL
--@progress 60
ALTER TABLE BillTo ADD btAddress3 VARCHAR(60)
ALTER TABLE BillTo ADD btAddress4 VARCHAR(60)
ALTER TABLE Customer ADD cuAddress3 VARCHAR(60)
ALTER TABLE Customer ADD cuAddress4 VARCHAR(60)
ALTER TABLE Customer ADD cuRateType VARCHAR(10)
ALTER TABLE ShipTo ADD stAddress3 VARCHAR(60)
ALTER TABLE ShipTo ADD stAddress4 VARCHAR(60)
ALTER TABLE Defaults ADD anUseQuoteNum TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD cuTaxClass1 VARCHAR(20)
ALTER TABLE Defaults ADD cuTaxClass2 VARCHAR(20)
ALTER TABLE Defaults ADD cuTaxClass3 VARCHAR(20)
--@progress 70
ALTER TABLE Defaults ADD cuTaxClass4 VARCHAR(20)
ALTER TABLE Defaults ADD cuTaxClass5 VARCHAR(20)
ALTER TABLE Defaults ADD mdHideSSplit TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdShowCustItem TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdUseDLRange TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdEachLoc TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdCurrentPrice TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdHideDiscount TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdUseOptFields TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdHideMargin TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdRoundIPrice TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdUsePLDef TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdDefaultPL VARCHAR(10)
ALTER TABLE Defaults ADD anNumLength TINYINT DEFAULT '4' NOT NULL
--@progress 80
ALTER TABLE Defaults ADD mdRateType VARCHAR(10)
UPDATE Defaults SET  anUseQuoteNum = qdSVShipTo WHERE DefaultID = 1
ALTER TABLE Items ADD itPickingSeq VARCHAR(10)
ALTER TABLE DLocRange ADD RType TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults DROP COLUMN qdSVBillTo
--@after-success 41
ALTER TABLE Defaults DROP COLUMN qdSVShipTo
ALTER TABLE Defaults ADD P1 VARCHAR(250)
ALTER TABLE Defaults ADD P2 VARCHAR(250)
ALTER TABLE Defaults ADD P3 VARCHAR(250)
ALTER TABLE Details ALTER COLUMN deSelected TINYINT DEFAULT '0'
ALTER TABLE Details ALTER COLUMN deCost CURRENCY DEFAULT '-1'
ALTER TABLE Quote ALTER COLUMN quLines INTEGER DEFAULT '0' NOT NULL
ALTER TABLE Quote ALTER COLUMN quDateModify DATE NULL
ALTER TABLE Quote ALTER COLUMN quUserModify VARCHAR(20) NULL
ALTER TABLE Details ALTER COLUMN Line INTEGER NOT NULL
ALTER TABLE Details ADD deDiscount CURRENCY DEFAULT '0' NOT NULL
ALTER TABLE Details ALTER COLUMN deConvFactor DECIMAL(18,6) DEFAULT '1' NOT NULL
DELETE TABLE GridColumns
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Line',1,1,0,435)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Line Type',2,1,0,885)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Item Type',3,1,0,1245)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Item Number',4,1,1,1305)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Customer Item',5,1,1,1230)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Description',6,1,1,2640)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Quantity',7,1,1,900)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Qty Avail',8,1,1,900)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Qty BO',9,1,1,900)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Quote UOM',10,1,1,990)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Unit Price',11,1,1,1050)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Pricing UOM',12,1,0,1035)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Base Price',13,1,1,990)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Item Total',14,1,0,1200)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Discount %',15,1,1,1110)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Discount Amount',16,1,1,1380)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Discounted Amt',17,1,0,1305)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Item Cost',18,1,1,1110)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Profit',19,1,1,900)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Margin',20,1,1,975)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Exp. Ship Date',21,1,1,1110)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Price List',22,1,1,960)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Location',23,1,1,1110)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Category',24,1,1,900)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Ext. Weight',25,1,0,960)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Lead Time',26,1,1,1230)
INSERT INTO GridColumns(ColName,ColOrder,ColShow,ColEdit,ColWidth) VALUES ('Comments/Instructions',27,1,0,1710)
--@progress 90
ALTER TABLE Defaults ADD qdStatusOnHold TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Quote ADD quOnHold BIT DEFAULT '0' NOT NULL
ALTER TABLE Details ADD deManualPrice BIT DEFAULT '0' NOT NULL
ALTER TABLE Quote ADD quOverCredit BIT DEFAULT '0' NOT NULL
ALTER TABLE Quote ADD quCrApproval VARCHAR(20)
ALTER TABLE Quote ADD quCrApprPwd VARCHAR(200)
ALTER TABLE Defaults ADD ccDoCredit TINYINT DEFAULT '1' NOT NULL
ALTER TABLE Defaults ADD ccARInvoice TINYINT DEFAULT '1' NOT NULL
ALTER TABLE Defaults ADD ccARReceipt TINYINT DEFAULT '1' NOT NULL
ALTER TABLE Defaults ADD ccOEOrder TINYINT DEFAULT '1' NOT NULL
ALTER TABLE Quote ADD quDateTransfer DATE
ALTER TABLE Quote ADD quCrApprLimit CURRENCY DEFAULT '0'
ALTER TABLE Defaults ADD ccCreditAuto TINYINT DEFAULT '1' NOT NULL
ALTER TABLE Defaults ADD mdChecklist TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdPrintName VARCHAR(50)
ALTER TABLE Defaults ADD mdPickingSlip TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdAutoPS TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdPSReprint TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdPSPrintName VARCHAR(50)
ALTER TABLE Defaults ADD mdConfirmation TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdAutoOC TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdOCReprint TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdOCPrintName VARCHAR(50)
ALTER TABLE Defaults ADD mdLocDetail TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdPORequired TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdTranComm TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Items ADD itWeight DECIMAL(18,4) DEFAULT '0' NOT NULL
ALTER TABLE Quote ADD quPrPickSlip BIT DEFAULT '0' NOT NULL
ALTER TABLE Quote ADD quPrConfirm BIT DEFAULT '0' NOT NULL
ALTER TABLE Quote ADD quCurCode VARCHAR(15)
ALTER TABLE Quote DROP COLUMN quAccountSet
ALTER TABLE Details ADD deShipDate DATE
ALTER TABLE Details ADD deWeight DECIMAL(18,4) DEFAULT '0' NOT NULL
ALTER TABLE DLocRange ADD RPrinter VARCHAR(50)
ALTER TABLE Customer ADD cuCurCode VARCHAR(15)
ALTER TABLE Quote ADD quTerritory VARCHAR(6)
ALTER TABLE Customer ADD cuTerritory VARCHAR(6)
ALTER TABLE Defaults ADD mdTerritory TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdTerrRequired TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdUseAPPickSlip TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdAPPickSlipRpt VARCHAR(50)
ALTER TABLE Defaults ADD mdUseAPConfirm TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdAPConfirmRpt VARCHAR(50)
ALTER TABLE Details ALTER COLUMN deComment VARCHAR(250) NULL
ALTER TABLE Details ADD deDiscPer DECIMAL(18,5) DEFAULT '0' NOT NULL
--@migration
--@after-migration
ALTER TABLE Details DROP COLUMN deItemComType
--@after-migration
ALTER TABLE Details DROP COLUMN deItemCom
ALTER TABLE Defaults ADD mdPSSplit TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdCopyComIn TINYINT DEFAULT '1' NOT NULL
ALTER TABLE CreditNote ADD Currency VARCHAR(10)
ALTER TABLE Quote ADD quComplete BIT DEFAULT '0' NOT NULL
ALTER TABLE Quote ADD quBOfor INTEGER
ALTER TABLE Details ALTER COLUMN deQuantity DECIMAL(18,4) DEFAULT '0' NOT NULL
ALTER TABLE Details ADD deQtyTransfer DECIMAL(18,4) DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdToWMS TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdQtyVerify TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdBackOrder TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdExpireLock TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdExpLockType TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdOptFieldsOE TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdOptFieldsAR TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdOptFieldsIC TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Quote ALTER COLUMN quCrApprLimit DECIMAL(18,4) DEFAULT '0' NOT NULL
ALTER TABLE Quote ADD QuoteConfidID TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Quote ADD QuoteTypeID TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Details ADD deLeadTime VARCHAR(60)
ALTER TABLE Defaults ADD mdLeadTime TINYINT DEFAULT '0' NOT NULL
ALTER TABLE Defaults ADD mdTransSecurity TINYINT DEFAULT '0' NOT NULL
--@progress 95
