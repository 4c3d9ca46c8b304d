-- SQL Server, phase three: stored procedures and function
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
DROP PROCEDURE [sprCustomerDefaults];
CREATE PROCEDURE sprCustomerDefaults AS SELECT cuGroupCode, cuAccountSet, cuPriceList, cuTermsCode, cuCustType, cuTaxGroup, cuTaxClass1, cuTaxClass2, cuTaxClass3, cuTaxClass4, cuTaxClass5 FROM Defaults;
DROP PROCEDURE [sprCustItemMapping];
CREATE PROCEDURE sprCustItemMapping @APID varchar (20) AS SELECT * FROM CustItemMap WHERE (AccpacID = @APID) ORDER BY APItem;
DROP PROCEDURE [sprOptionalOE52All];
CREATE PROCEDURE sprOptionalOE52All @QID integer AS SELECT * FROM OptionalOE52 WHERE (QuoteID = @QID) ORDER BY optNumber;
DROP PROCEDURE [updOptionalOE52];
CREATE PROCEDURE updOptionalOE52 @optValue varchar(50), @optDesc varchar(60), @QuoteID int, @optNumber tinyint AS UPDATE OptionalOE52 SET optValue = @optValue, optDesc = @optDesc WHERE (QuoteID = @QuoteID) AND (optNumber = @optNumber);
DROP PROCEDURE [insNewOptionalOE52];
CREATE PROCEDURE insNewOptionalOE52 @QuoteID int, @optNumber tinyint, @optName varchar(50), @optTable varchar(10), @optValue varchar(50), @optDesc varchar(60) AS SET NOCOUNT ON; INSERT INTO OptionalOE52 (QuoteID, optNumber, optName, optTable, optValue, optDesc) VALUES (@QuoteID, @optNumber, @optName, @optTable, @optValue, @optDesc); SET NOCOUNT OFF;
DROP PROCEDURE [sprOptionalAR52All];
CREATE PROCEDURE sprOptionalAR52All @CID integer AS SELECT * FROM OptionalAR52 WHERE (CustomerID = @CID) ORDER BY optNumber;
DROP PROCEDURE [updOptionalAR52];
CREATE PROCEDURE updOptionalAR52 @optValue varchar(50), @optDesc varchar(60), @CustomerID int, @optNumber tinyint AS UPDATE OptionalAR52 SET optValue = @optValue, optDesc = @optDesc WHERE (CustomerID = @CustomerID) AND (optNumber = @optNumber);
DROP PROCEDURE [insNewOptionalAR52];
CREATE PROCEDURE insNewOptionalAR52 @CustomerID int, @optNumber tinyint, @optName varchar(50), @optTable varchar(10), @optValue varchar(50), @optDesc varchar(60) AS SET NOCOUNT ON; INSERT INTO OptionalAR52 (CustomerID, optNumber, optName, optTable, optValue, optDesc) VALUES (@CustomerID, @optNumber, @optName, @optTable, @optValue, @optDesc); SET NOCOUNT OFF;
DROP PROCEDURE [sprOptionalIC52All];
CREATE PROCEDURE sprOptionalIC52All @IID integer AS SELECT * FROM OptionalIC52 WHERE (ItemID = @IID) ORDER BY optNumber;
DROP PROCEDURE [updOptionalIC52];
CREATE PROCEDURE updOptionalIC52 @optValue varchar(50), @optDesc varchar(60), @ItemID int, @optNumber tinyint AS UPDATE OptionalIC52 SET optValue = @optValue, optDesc = @optDesc WHERE (ItemID = @ItemID) AND (optNumber = @optNumber);
DROP PROCEDURE [insNewOptionalIC52];
CREATE PROCEDURE insNewOptionalIC52 @ItemID int, @optNumber tinyint, @optName varchar(50), @optTable varchar(10), @optValue varchar(50), @optDesc varchar(60) AS SET NOCOUNT ON; INSERT INTO OptionalIC52 (ItemID, optNumber, optName, optTable, optValue, optDesc) VALUES (@ItemID, @optNumber, @optName, @optTable, @optValue, @optDesc); SET NOCOUNT OFF;
DROP PROCEDURE [sprNextQuoteNumber];
DROP PROCEDURE [sprStatusDefaults];
DROP PROCEDURE [sprQuoteDefaults];
CREATE PROCEDURE sprQuoteDefaults @Comp varchar(10) AS SELECT * FROM Defaults WHERE (Company = @Comp);
DROP PROCEDURE [sprNextQuoteNumber];
DROP PROCEDURE [insNewQuote];
CREATE PROCEDURE insNewQuote @QuoteNum varchar(30),@CustFrom tinyint,@AccpacID varchar(20),@CustID int,@CustName varchar(60),@BTID int,@STID int,@QSID int,@QTID int,@QCID int,@PONum varchar(30),@DateShip datetime,@DateExpire datetime,@UserEnt varchar(20),@Company varchar(20),@Location varchar(15),@Desc varchar(100),@Reference varchar(60),@Lines int,@Notes varchar(250),@STLoc varchar(15),@ShipVia varchar(15),@ShipViaDesc varchar(60),@FOBPoint varchar(60),@CustType tinyint,@CommNote tinyint,@PriceList varchar(15),@TaxGroup varchar(15),@Territory varchar(6),@TermsCode varchar(15),@CurCode varchar(15),@Email varchar(60),@TaxClass1 varchar(10),@TaxClass2 varchar(10),@TaxClass3 varchar(10),@TaxClass4 varchar(10),@TaxClass5 varchar(10),@RegNum1 varchar(30),@RegNum2 varchar(30),@RegNum3 varchar(30),@RegNum4 varchar(30),@RegNum5 varchar(30),@SalesPerson1 varchar(20),@SalesPerson2 varchar(20),@SalesPerson3 varchar(20),@SalesPerson4 varchar(20),@SalesPerson5 varchar(20),@PercentSS1 decimal(18,5),@PercentSS2 decimal(18,5),@PercentSS3 decimal(18,5),@PercentSS4 decimal(18,5),@PercentSS5 decimal(18,5),@Revision tinyint,@Original int,@CustContact varchar(60),@HomeCurr varchar(10),@SourceCurr varchar(10),@RateType varchar(10),@RateDate datetime,@RateEx decimal(18,9),@OnHold bit,@OverCredit bit,@CrApprLimit decimal(18,5),@CrApproval varchar(20),@CrApprPwd varchar(200),@Complete bit,@BOfor int,@QID int OUTPUT,@Auto varchar(30) OUTPUT AS IF @QuoteNum ='' SET @QuoteNum = (SELECT (anQuotePrefix + dbo.udfFormatNum(anQuoteNum)) FROM Defaults WHERE DefaultID=1) UPDATE Defaults SET anQuoteNum = anQuoteNum + 1 SET NOCOUNT ON; INSERT INTO Quote (QuoteNumber, CustFrom, AccPacID, CustomerID, CustName, BillToID, ShipToID, QuoteStatusID, QuoteTypeID, QuoteConfidID, quPONumber, quDateEnter, quDateShip, quDateExpire, quUserEnter, quCompany, quLocation, quDesc, quReference, quLines, quNotes, quShipToLoc, quShipVia, quShipViaDesc, quFOBPoint, quCustomerType, quCommNote, quPriceList, quTaxGroup, quTerritory, quTermsCode, quCurCode, quEmail, quTaxClass1, quTaxClass2, quTaxClass3, quTaxClass4, quTaxClass5, quRegNumber1, quRegNumber2, quRegNumber3, quRegNumber4, quRegNumber5, quSalesperson1, quSalesperson2, quSalesperson3, quSalesperson4, quSalesperson5, quPercentSS1, quPercentSS2, quPercentSS3, quPercentSS4, quPercentSS5, quRevision, quOriginal, CustContact, quHomeCurr, quSourceCurr, quRateType, quRateDate, quRateEx, quOnHold, quOverCredit, quCrApprLimit, quCrApproval, quCrApprPwd, quComplete, quBOfor) VALUES (@QuoteNum, @CustFrom, @AccpacID, @CustID, @CustName, @BTID, @STID, @QSID, @QTID, @QCID, @PONum, GetDate(), @DateShip, @DateExpire, @UserEnt, @Company, @Location, @Desc, @Reference, @Lines, @Notes, @STLoc, @ShipVia, @ShipViaDesc, @FOBPoint, @CustType, @CommNote, @PriceList, @TaxGroup, @Territory, @TermsCode, @CurCode, @Email, @TaxClass1, @TaxClass2, @TaxClass3, @TaxClass4, @TaxClass5, @RegNum1, @RegNum2, @RegNum3, @RegNum4, @RegNum5, @SalesPerson1, @SalesPerson2, @SalesPerson3, @SalesPerson4, @SalesPerson5, @PercentSS1, @PercentSS2, @PercentSS3, @PercentSS4, @PercentSS5, @Revision, @Original, @CustContact, @HomeCurr, @SourceCurr, @RateType, @RateDate, @RateEx, @OnHold, @OverCredit, @CrApprLimit, @CrApproval, @CrApprPwd, @Complete, @BOfor); SET @QID = @@Identity; SET NOCOUNT OFF; SET @Auto = @QuoteNum;
DROP PROCEDURE [updQuote];
CREATE PROCEDURE updQuote @CustFrom tinyint,@AccpacID varchar(20),@CustID int,@CustName varchar(60),@BTID int,@STID int,@QSID int,@QTID int,@QCID int,@PONum varchar(30),@DateShip datetime,@DateExpire datetime,@Company varchar(20),@UserMod varchar(20),@Location varchar(15),@Desc varchar(100),@Reference varchar(60),@Lines int,@Notes varchar(250),@STLoc varchar(15),@ShipVia varchar(15),@ShipViaDesc varchar(60),@FOBPoint varchar(60),@CustType tinyint,@CommNote tinyint,@PriceList varchar(15),@TaxGroup varchar(15),@Territory varchar(6),@TermsCode varchar(15),@CurCode varchar(15),@Email varchar(60),@TaxClass1 varchar(10),@TaxClass2 varchar(10),@TaxClass3 varchar(10),@TaxClass4 varchar(10),@TaxClass5 varchar(10),@RegNum1 varchar(30),@RegNum2 varchar(30),@RegNum3 varchar(30),@RegNum4 varchar(30),@RegNum5 varchar(30),@SalesPerson1 varchar(20),@SalesPerson2 varchar(20),@SalesPerson3 varchar(20),@SalesPerson4 varchar(20),@SalesPerson5 varchar(20),@PercentSS1 decimal(18,5),@PercentSS2 decimal(18,5),@PercentSS3 decimal(18,5),@PercentSS4 decimal(18,5),@PercentSS5 decimal(18,5),@Revision tinyint,@Original int,@CustContact varchar(60),@HomeCurr varchar(10),@SourceCurr varchar(10),@RateType varchar(10),@RateDate datetime,@RateEx decimal(18,9),@OnHold bit,@OverCredit bit,@CrApprLimit decimal(18,5),@CrApproval varchar(20),@CrApprPwd varchar(200),@Complete bit,@BOfor int,@QID int AS UPDATE Quote SET CustFrom = @CustFrom, AccPacID = @AccpacID, CustomerID = @CustID, CustName = @CustName, BillToID = @BTID, ShipToID = @STID, QuoteStatusID = @QSID, QuoteTypeID = @QTID, QuoteConfidID = @QCID, quPONumber = @PONum, quDateShip = @DateShip, quDateExpire = @DateExpire, quDateModify = GETDATE(), quCompany = @Company, quUserModify = @UserMod, quLocation = @Location, quDesc = @Desc, quReference = @Reference, quLines = @Lines, quNotes = @Notes, quShipToLoc = @STLoc, quShipVia = @ShipVia, quShipViaDesc = @ShipViaDesc, quFOBPoint = @FOBPoint, quCustomerType = @CustType, quCommNote = @CommNote, quPriceList = @PriceList, quTaxGroup = @TaxGroup, quTerritory = @Territory, quTermsCode = @TermsCode, quCurCode = @CurCode, quEmail = @Email, quTaxClass1 = @TaxClass1, quTaxClass2 = @TaxClass2, quTaxClass3 = @TaxClass3, quTaxClass4 = @TaxClass4, quTaxClass5 = @TaxClass5, quRegNumber1 = @RegNum1, quRegNumber2 = @RegNum2, quRegNumber3 = @RegNum3, quRegNumber4 = @RegNum4, quRegNumber5 = @RegNum5, quSalesperson1 = @SalesPerson1, quSalesperson2 = @SalesPerson2, quSalesperson3 = @SalesPerson3, quSalesperson4 = @SalesPerson4, quSalesperson5 = @SalesPerson5, quPercentSS1 = @PercentSS1, quPercentSS2 = @PercentSS2, quPercentSS3 = @PercentSS3, quPercentSS4 = @PercentSS4, quPercentSS5 = @PercentSS5, quRevision = @Revision, quOriginal = @Original, CustContact = @CustContact, quHomeCurr = @HomeCurr, quSourceCurr = @SourceCurr, quRateType = @RateType, quRateDate = @RateDate, quRateEx = @RateEx, quOnHold = @OnHold, quOverCredit = @OverCredit, quCrApprLimit = @CrApprLimit, quCrApproval = @CrApproval, quCrApprPwd = @CrApprPwd, quComplete = @Complete, quBOfor = @BOfor WHERE (QuoteID = @QID);
DROP PROCEDURE [sprExpiration];
CREATE PROCEDURE sprExpiration @DExp datetime AS SELECT Quote.QuoteID, Quote.QuoteNumber, Quote.CustFrom, Quote.AccPacID, Customer.CustomerNumber, Quote.CustName, QuoteStatus.qsName, QuoteStatus.qsCode, Quote.quDateEnter, Quote.quDateExpire, Quote.quUserEnter , Quote.quDesc, Quote.CustContact, Quote.QuoteStatusID FROM Quote INNER JOIN QuoteStatus ON Quote.QuoteStatusID = QuoteStatus.QuoteStatusID LEFT OUTER JOIN Customer ON Quote.CustomerID = Customer.CustomerID WHERE (Quote.quDateExpire <= @DExp) AND (Quote.QuoteStatusID = 1) ORDER BY Quote.quDateExpire;
--@progress 90
DROP PROCEDURE [sprCustQuota];
CREATE PROCEDURE sprCustQuota @APID varchar(20) AS SELECT * FROM CustQuota WHERE (AccpacID = @APID) ORDER BY qaStart;
DROP PROCEDURE [sprCustQuotaDate];
CREATE PROCEDURE sprCustQuotaDate @APID varchar(20), @QDate as datetime AS SELECT * FROM CustQuota WHERE (AccpacID = @APID) AND (@QDate BETWEEN qaStart AND qaEnd);
DROP PROCEDURE [sprCateQuota];
CREATE PROCEDURE sprCateQuota AS SELECT * FROM CateQuota ORDER BY Category;
DROP PROCEDURE [sprCateQuotaOne];
CREATE PROCEDURE sprCateQuotaOne @Cat varchar(15) AS SELECT CatQuotaID, Category, DrawDown FROM CateQuota WHERE (Category = @Cat);
DROP PROCEDURE [sprTerrUsers];
CREATE PROCEDURE sprTerrUsers AS SELECT DISTINCT TerrUser FROM TerrVal ORDER BY TerrUser;
DROP PROCEDURE [sprTerrValid];
CREATE PROCEDURE sprTerrValid @APID varchar(20) AS SELECT TerritoryID, TerrUser, TerrValue FROM TerrVal  WHERE (TerrUser = @APID);
DROP PROCEDURE [sprCreditNoteOneID];
CREATE PROCEDURE sprCreditNoteOneID @CNID int AS SELECT * FROM CreditNote WHERE (CNID = @CNID)
DROP PROCEDURE [sprCreditNoteDetail];
CREATE PROCEDURE sprCreditNoteDetail @CNID int AS SELECT * FROM CNDetail WHERE (CNID = @CNID)
DROP FUNCTION [udfFormatNum];
CREATE FUNCTION dbo.udfFormatNum (@Num int) RETURNS varchar(30) AS BEGIN DECLARE @New varchar(30) Declare @Len tinyint SET @len = (SELECT anNumLength FROM Defaults WHERE DefaultID = 1) IF Len(@Num)<@len SET @New = RIGHT('0000000000000000' + CONVERT(varchar, @Num),@len) ELSE SET @New = CONVERT(varchar, @Num) RETURN(@New) END
DROP PROCEDURE [sprDetailCommIns];
CREATE PROCEDURE sprDetailCommIns @QID int, @Line int, @CIType tinyint AS SELECT  * FROM CommIns WHERE (QuoteID = @QID) AND (Line = @Line) AND (CoInType = @CIType) ORDER BY Number;
DROP PROCEDURE [cpyBillToBillTo];
CREATE PROCEDURE cpyBillToBillTo @BTID int, @Auto int OUTPUT AS SET NOCOUNT ON; INSERT INTO BillTo(btName, btAddress1, btAddress2, btAddress3, btAddress4, btCity, btProvState, btPCZip, btCountry, btPhone, btFax, btContact) (SELECT btName, btAddress1, btAddress2, btAddress3, btAddress4, btCity, btProvState, btPCZip, btCountry, btPhone, btFax, btContact FROM BillTo WHERE (BillToID = @BTID)); SET @Auto = @@Identity; SET NOCOUNT OFF;
DROP PROCEDURE [cpyBillToShipTo];
CREATE PROCEDURE cpyBillToShipTo @BTID int, @Auto int OUTPUT AS SET NOCOUNT ON; INSERT INTO ShipTo(stName, stAddress1, stAddress2, stAddress3, stAddress4, stCity, stProvState, stPCZip, stCountry, stPhone, stFax, stContact) (SELECT btName, btAddress1, btAddress2, btAddress3, btAddress4, btCity, btProvState, btPCZip, btCountry, btPhone, btFax, btContact FROM BillTo WHERE (BillToID = @BTID)); SET @Auto = @@Identity; SET NOCOUNT OFF;
DROP PROCEDURE [cpyShipToShipTo];
CREATE PROCEDURE cpyShipToShipTo @STID int, @Auto int OUTPUT AS SET NOCOUNT ON; INSERT INTO ShipTo(stCode, stName, stAddress1, stAddress2, stAddress3, stAddress4, stCity, stProvState, stPCZip, stCountry, stPhone, stFax, stContact, stInstructions) (SELECT stCode, stName, stAddress1, stAddress2, stAddress3, stAddress4, stCity, stProvState, stPCZip, stCountry, stPhone, stFax, stContact, stInstructions FROM ShipTo WHERE (ShipToID = @STID)); SET @Auto = @@Identity; SET NOCOUNT OFF;
DROP PROCEDURE [sprDetailsCommInsAll];
CREATE PROCEDURE sprDetailsCommInsAll @QID int AS SELECT Details.*, CommIns,CoInType,CommIns.CommIns FROM Details LEFT OUTER JOIN CommIns ON Details.QuoteID = CommIns.QuoteID AND Details.Line = CommIns.Line WHERE (Details.QuoteID = @QID) ORDER BY Details.Line;
DROP PROCEDURE [insNewOptFieldAR];
CREATE PROCEDURE insNewOptFieldAR @CustomerID int, @OtpField varchar(12), @ofType smallint, @ofValue varchar(60), @OfVDate datetime, @ofLength tinyint AS SET NOCOUNT ON; INSERT INTO OptFieldAR (CustomerID, OptField, ofType, ofValue, ofVDate, ofLength) VALUES (@CustomerID, @OtpField, @ofType, @ofValue, @ofVDate, @ofLength); SET NOCOUNT OFF;
DROP PROCEDURE [insNewOptFieldIC];
CREATE PROCEDURE insNewOptFieldIC @ItemID int, @OtpField varchar(12), @ofType smallint, @ofValue varchar(60), @OfVDate datetime, @ofLength tinyint AS SET NOCOUNT ON; INSERT INTO OptFieldIC (ItemID, OptField, ofType, ofValue, ofVDate, ofLength) VALUES (@ItemID, @OtpField, @ofType, @ofValue, @ofVDate, @ofLength); SET NOCOUNT OFF;
DROP PROCEDURE [insNewOptFieldOE];
CREATE PROCEDURE insNewOptFieldOE @QuoteID int, @OtpField varchar(12), @ofType smallint, @ofValue varchar(60), @OfVDate datetime, @ofLength tinyint AS SET NOCOUNT ON; INSERT INTO OptFieldOE (QuoteID, OptField, ofType, ofValue, ofVDate, ofLength) VALUES (@QuoteID, @OtpField, @ofType, @ofValue, @ofVDate, @ofLength); SET NOCOUNT OFF;
DROP PROCEDURE [sprOptFieldARAll];
CREATE PROCEDURE sprOptFieldARAll @CID integer AS SELECT * FROM OptFieldAR WHERE (CustomerID = @CID) ORDER BY OptField;
DROP PROCEDURE [sprOptFieldICAll];
CREATE PROCEDURE sprOptFieldICAll @IID integer AS SELECT * FROM OptFieldIC WHERE (ItemID = @IID) ORDER BY OptField;
DROP PROCEDURE [sprOptFieldOEAll];
CREATE PROCEDURE sprOptFieldOEAll @QID integer AS SELECT * FROM OptFieldOE WHERE (QuoteID = @QID) ORDER BY OptField;
DROP PROCEDURE [updOptFieldAR];
CREATE PROCEDURE updOptFieldAR @ofValue varchar(60), @ofVDate datetime, @CustomerID int, @OptField varchar(12)  AS UPDATE OptFieldAR SET ofValue = @ofValue, ofVDate = @ofVDate WHERE (CustomerID = @CustomerID) AND (OptField = @OptField);
DROP PROCEDURE [updOptFieldIC];
CREATE PROCEDURE updOptFieldIC @ofValue varchar(60), @ofVDate datetime, @ItemID int, @OptField varchar(12)  AS UPDATE OptFieldIC SET ofValue = @ofValue, ofVDate = @ofVDate WHERE (ItemID = @ItemID) AND (OptField = @OptField);
DROP PROCEDURE [updOptFieldOE];
CREATE PROCEDURE updOptFieldOE @ofValue varchar(60), @ofVDate datetime, @QuoteID int, @OptField varchar(12)  AS UPDATE OptFieldOE SET ofValue = @ofValue, ofVDate = @ofVDate WHERE (QuoteID = @QuoteID) AND (OptField = @OptField);
DROP PROCEDURE [sprQuoteConfidence];
CREATE PROCEDURE [sprQuoteConfidence] AS SELECT * FROM QuoteConfidence;
DROP PROCEDURE [sprQuoteConfidenceActive];
CREATE PROCEDURE sprQuoteConfidenceActive AS SELECT * FROM QuoteConfidence WHERE (qcActive = 1);
DROP PROCEDURE [sprQuoteStatusActive];
CREATE PROCEDURE [sprQuoteStatusActive] AS SELECT * FROM QuoteStatus WHERE (qsActive = 1);
DROP PROCEDURE [sprQuoteType];
CREATE PROCEDURE [sprQuoteType] AS SELECT * FROM QuoteType;
DROP PROCEDURE [sprQuoteTypeActive];
CREATE PROCEDURE [sprQuoteTypeActive] AS SELECT * FROM QuoteType WHERE (qtActive = 1);
--@progress 95
