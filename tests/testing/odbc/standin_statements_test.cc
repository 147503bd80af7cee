// The statements our programs send, with their %-values filled in, against a
// small courier database: each must be accepted and answer as SQL Server
// would. Also the DDL that update scripts carry.
#include <algorithm>
#include <array>

#include "tests/testing/odbc/odbc_test_util.h"

namespace standin_test {
namespace {

const std::string kOpenA = "oA" + std::string(26, 'a');  // 28 characters
const std::string kOpenC = "oC" + std::string(26, 'c');
const std::string kOpenLi = "oL" + std::string(26, 'l');

class AgentStatementsTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    ASSERT_EQ(SQL_SUCCESS, db_.Connect()) << db_.diag();
    db_.Run("INSERT INTO qorvu.dbo.client_arc(icid,caccount,cunitname,cwebac,cmsn,csmnumber,cphone,fdeposit,fpay0,fpay1,ckind) VALUES"
            "(1,'A001','Unit One','" + kOpenA + "','','13800000001','010-1',100,30,20,'VIP'),"
            "(2,'A002','Unit Two','short','','','',10,5,10,''),"
            "(3,'A003','Unit Three','','" + kOpenC + "','','',0,10,0,'')");
    db_.Run("INSERT INTO qorvu.dbo.client_rec(irid,icid,cnum,cemskind,nstate,ddate,dadate,csign,dsysdate,dsenddate,nfrom) VALUES"
            "(10,1,'C10','EMS',3,'2024-05-10 10:00:00','2024-05-10 11:00:00','Wang','2024-05-10 09:00:00',NULL,0),"
            "(11,1,'C11','EMS',3,'2024-05-01 09:00:00',NULL,'',NULL,NULL,0),"
            "(12,2,'C12','EMS',3,'2024-05-10 10:00:00',NULL,'',NULL,NULL,0),"
            "(13,3,'C13','EMS',3,'2024-05-11 10:00:00',NULL,'',NULL,NULL,0),"
            "(14,1,'C14','EMS',3,'2024-05-11 10:00:00',NULL,'',NULL,NULL,0),"
            "(20,1,'C20','EMS',5,'2024-05-10 10:00:00',NULL,'',NULL,NULL,0),"
            "(21,1,'C21','EMS',4,'2024-05-10 10:00:00',NULL,'',NULL,NULL,0),"
            "(30,1,'C30','EMS',2,'2024-05-10 10:00:00',NULL,'',NULL,NULL,0),"
            "(40,1,'C40','EMS',1,'2024-05-10 10:00:00',NULL,'',NULL,'2024-05-10 10:30:00',0),"
            "(41,1,'C41','EMS',1,'2024-05-10 10:00:00',NULL,'',NULL,NULL,0),"
            "(50,1,'C50','SF',1,'2024-05-10 10:00:00',NULL,'','2024-05-10 10:00:00',NULL,3)");
    db_.Run("INSERT INTO qorvu.dbo.ems_kind(cemskind,nsmtake,nsmsend,nsmsign,nsmerror,nsmdays,ckey) VALUES"
            "('EMS',1,1,1,1,0,NULL),('SF',1,0,0,0,2,'sf')");
    db_.Run("INSERT INTO qorvu.dbo.check_detail(irid,npos,wpos,cdate,cplace,cinfo) VALUES"
            "(20,1,1,'2024-05-10 10:10','Here','Taken'),(20,2,2,'2024-05-10 12:00','There','Lost'),"
            "(30,100,1,'2024-05-10 11:00','Hub','Handed over'),(41,1,3,'2024-05-10 11:30','Station 3','Arrived')");
    db_.Run("INSERT INTO qorvu.dbo.check_track(irid,ikind,nlan,wpos,ddate,cref,cstation,ccheckpoint,cinput) VALUES"
            "(40,2,0,1,'2024-05-10 12:00:00','Li','S1','S2','op'),(41,0,0,3,'2024-05-10 11:30:00','Li','S3','S4','op')");
    db_.Run("INSERT INTO qorvu.dbo.man_main(mcname,mcsmphone,clmphone,mccomway,ccltkind,cmsn) VALUES"
            "('Li','139',NULL,'phone 1','','" + kOpenLi + "'),('Zhao','138','137','','VIP','short')");
    db_.Run("INSERT INTO qorvu.dbo.rec_trans(iid,biid,icid,irid,cf_num,drdate,fweight,iitem) VALUES"
            "(1,0,1,0,'T1','2024-05-10 08:00:00',1.5,1),(2,0,1,5,'T2','2024-05-10 08:00:00',1,1)");
    db_.Run("INSERT INTO qorvu.dbo.rec_trans_bag(biid,icid,irid,bget,famount,cnum,dsysdate) VALUES"
            "(1,1,0,1,12.5,'B1','2024-05-10 08:00:00'),(2,1,0,1,7.5,'B2','2024-05-10 09:00:00'),"
            "(3,2,0,0,3,'B3','2024-05-10 09:00:00')");
    db_.Run("INSERT INTO qorvu.dbo.wc_mess(iid,nstate,ntype,iidref,copenid,curl,cparam,ddate) VALUES"
            "(1,0,6,14,'" + kOpenA + "','','C14|x|','2024-05-10 10:00:00'),"
            "(2,1,6,99,'o','','','2024-05-10 10:00:00'),(3,0,2,98,'o','','','2024-04-01 10:00:00')");
    db_.Run("INSERT INTO qorvu.dbo.wc_bind(cphone,copenid) VALUES('13800000001','oBind')");
    db_.Run("INSERT INTO qorvu.dbo.sys_dict(dcname,dcvalue) VALUES('55','1'),('29','1'),('45','3')");
    db_.Run("INSERT INTO qorvu.dbo.sys_version(cversion) VALUES('2021.1'),('2023.5')");
    db_.Run("INSERT INTO qorvu.dbo.sys_server_update(ii,nn) VALUES(1,20),(2,35)");
    db_.Run("INSERT INTO pandel.dbo.web_main(wcid,wcroot) VALUES(3,'D:\\web')");
    db_.Run("INSERT INTO pandel.dbo.sys_version(cversion) VALUES('5.2')");
  }

  // Every row as its columns read into 1024-byte text buffers, joined by "|".
  std::vector<std::string> Rows(const std::string& sql) {
    Statement s(db_.get());
    std::vector<std::string> rows;
    const SQLRETURN rc = s.Exec(sql);
    EXPECT_EQ(SQL_SUCCESS, rc) << sql << "\n" << s.diag();
    if (rc != SQL_SUCCESS) return rows;
    SQLSMALLINT count = 0;
    SQLNumResultCols(s.get(), &count);
    std::vector<std::array<char, 1024>> buffers(static_cast<size_t>(count));
    std::vector<SQLLEN> ind(static_cast<size_t>(count));
    for (SQLSMALLINT c = 0; c < count; ++c) {
      SQLBindCol(s.get(), static_cast<SQLUSMALLINT>(c + 1), SQL_C_CHAR, buffers[c].data(), 1024, &ind[c]);
    }
    while (SQL_SUCCEEDED(SQLFetch(s.get()))) {
      std::string row;
      for (SQLSMALLINT c = 0; c < count; ++c) {
        row += (c ? "|" : "") + (ind[c] == SQL_NULL_DATA ? std::string("NULL") : std::string(buffers[c].data()));
      }
      rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
  }

  std::vector<std::string> FirstColumn(const std::string& sql) {
    std::vector<std::string> firsts;
    for (const std::string& row : Rows(sql)) firsts.push_back(row.substr(0, row.find('|')));
    return firsts;
  }

  Connection db_;
};

using Strings = std::vector<std::string>;

TEST_F(AgentStatementsTest, ScannerQueriesSelectTheRightRows) {
  const std::string window = "'2024.05.05 00:00:00'";
  const std::string wechat = "(LEN(b.cwebac)=28 OR LEN(b.cmsn)=28)";
  const std::string from_rec_arc =
      " FROM qorvu.dbo.client_rec AS a INNER JOIN qorvu.dbo.client_arc AS b ON(a.icid=b.icid) ";
  struct Case {
    std::string sql;
    Strings firsts;
  } cases[] = {
      {"SELECT cemskind,nsmdays FROM qorvu.dbo.ems_kind WHERE nsmerror=1", {"EMS"}},
      // Update_Sign: window, LEN on both OpenIDs, NOT EXISTS on an earlier notice (14).
      {"SELECT TOP 100 a.irid,a.icid,a.cnum,a.cdes,a.creceiver,a.dadate,a.csign,b.cwebac,a.cserviceno,a.ddate,"
       "b.cunitname,b.caccount,b.cmsn,a.caddrfrom,a.csphone" + from_rec_arc +
           "WHERE a.nstate=3 AND " + wechat + " AND a.cemskind='EMS' AND a.ddate>=" + window +
           " AND NOT EXISTS(SELECT 1 FROM qorvu.dbo.wc_mess WHERE ntype=6 AND iidref=a.irid)",
       {"10", "13"}},
      {"SELECT TOP 1 a.irid" + from_rec_arc + "WHERE a.nstate=3 AND " + wechat + " AND a.cemskind='ems'", {"10"}},
      // Update_Send
      {"SELECT TOP 100 a.irid,a.icid,a.cnum,a.cdes,b.cwebac,a.ndays,a.npayway,a.famount,a.fgoods,a.dsenddate,a.csender,"
       "a.creceiver,a.cgoods,a.cserviceno,a.iitem,b.cunitname,b.caccount,a.csphone,a.cbearer,a.iquantity,a.ctransnote,"
       "b.cmsn,a.caddrfrom" + from_rec_arc + "WHERE a.dsenddate>" + window + " AND " + wechat +
           " AND a.nstate<3 AND a.cemskind='EMS' AND NOT EXISTS(SELECT 1 FROM qorvu.dbo.wc_mess WHERE ntype IN(2,19) "
           "AND iidref=a.irid)",
       {"40"}},
      // Update_Take
      {"SELECT TOP 100 a.irid,a.icid,a.cnum,a.cdes,a.creceiver,b.cwebac,a.cserviceno,a.ddate,b.cunitname,b.caccount,"
       "b.cmsn,a.dsysdate,a.caddrfrom,a.csphone" + from_rec_arc + "WHERE " + wechat +
           " AND a.cemskind='EMS' AND a.dsysdate>=" + window +
           " AND NOT EXISTS(SELECT 1 FROM qorvu.dbo.wc_mess WHERE ntype=1 AND iidref=a.irid)",
       {"10"}},
      // Update_Error: the newest detail through the correlated ISNULL(max()) subquery.
      {"SELECT TOP 100 a.irid,a.icid,a.cnum,a.cdes,b.cwebac,a.creceiver,ISNULL(c.npos,255),c.cdate,c.cplace,c.cinfo,"
       "a.nstate,a.cserviceno,a.ddate,b.cunitname,b.caccount,b.cmsn,a.caddrfrom,a.csphone" + from_rec_arc +
           "LEFT OUTER JOIN qorvu.dbo.check_detail AS c ON(a.irid=c.irid) WHERE a.nstate>3 AND " + wechat +
           " AND a.cemskind='EMS' AND a.ddate>=" + window +
           " AND c.npos=(select ISNULL(max(npos),255) from qorvu.dbo.check_detail where irid=a.irid) AND NOT "
           "EXISTS(SELECT 1 FROM qorvu.dbo.wc_mess WHERE ntype=4 AND iidref=a.irid)",
       {"20"}},
      {"SELECT TOP 100 a.irid" + from_rec_arc +
           "LEFT OUTER JOIN qorvu.dbo.check_detail_en AS c ON(a.irid=c.irid) WHERE a.nstate>3 AND c.npos=(select "
           "ISNULL(max(npos),255) from qorvu.dbo.check_detail_en where irid=a.irid)",
       {}},
      // Update_Track
      {"SELECT TOP 100 a.irid,a.icid,a.cnum,a.cdes,b.cwebac,a.creceiver,c.cdate,a.cserviceno,a.ddate,b.cunitname,"
       "b.caccount,b.cmsn,a.cemskind,ISNULL(d.ckey,'') AS cc,a.caddrfrom,a.csphone" + from_rec_arc +
           "INNER JOIN qorvu.dbo.check_detail AS c ON(a.irid=c.irid) INNER JOIN qorvu.dbo.ems_kind AS d "
           "ON(a.cemskind=d.cemskind) WHERE a.nstate=2 AND " + wechat + " AND a.ddate>=" + window +
           " AND c.npos=100 AND NOT EXISTS(SELECT 1 FROM qorvu.dbo.wc_mess WHERE ntype=3 AND iidref=a.irid)",
       {"30"}},
      // Update_Bear
      {"SELECT TOP 100 a.irid,a.icid,a.cnum,a.cserviceno,b.cwebac,b.cmsn,c.ddate,c.cref,a.creceiver,a.caddr,a.cphone,"
       "a.csender,a.csaddr,a.csphone,b.cunitname,b.caccount,ISNULL(d.clmphone,''),a.caddrfrom" + from_rec_arc +
           "INNER JOIN qorvu.dbo.check_track AS c ON(a.irid=c.irid) LEFT OUTER JOIN qorvu.dbo.man_main AS d "
           "ON(d.mcname=c.cref) WHERE a.nstate<3 AND c.ikind=2 AND " + wechat + " AND c.ddate>=" + window +
           " AND NOT EXISTS(SELECT 1 FROM qorvu.dbo.wc_mess WHERE ntype=9 AND iidref=a.irid)",
       {"40"}},
      // Update_Check and its two follow-up reads
      {"SELECT TOP 100 a.irid,a.icid,a.cnum,a.cdes,b.cwebac,a.ddate,a.creceiver,a.cserviceno,b.cunitname,b.caccount,"
       "b.cmsn,a.caddrfrom,c.cstation,c.ccheckpoint,ISNULL(c.wpos,0),c.cinput,c.cref" + from_rec_arc +
           "INNER JOIN qorvu.dbo.check_track AS c ON(a.irid=c.irid) WHERE a.ddate>" + window +
           " AND c.ikind=0 AND c.nlan=0 AND " + wechat + " AND a.nstate<3",
       {"41"}},
      {"SELECT cdate,cplace,cinfo FROM qorvu.dbo.check_detail WHERE irid=41 AND wpos=3", {"2024-05-10 11:30"}},
      {"SELECT mccomway FROM qorvu.dbo.man_main WHERE mcname='Li'", {"phone 1"}},
      {"SELECT mcsmphone FROM qorvu.dbo.man_main WHERE mcname='li'", {"139"}},
      // Update_TransRsv, Update_TransSend
      {"SELECT TOP 100 a.iid,a.biid,a.icid,a.cf_num,a.drdate,b.cwebac,b.cmsn,a.fweight,a.iitem,b.cunitname,b.caccount,"
       "a.cf_emskind,a.cmark,a.cstationr FROM qorvu.dbo.rec_trans AS a INNER JOIN qorvu.dbo.client_arc AS b "
       "ON(a.icid=b.icid) WHERE a.drdate>" + window + " AND " + wechat +
           " AND a.irid<1 AND NOT EXISTS(SELECT 1 FROM qorvu.dbo.wc_mess WHERE ntype=7 AND iidref=a.iid)",
       {"1"}},
      {"SELECT TOP 100 a.irid,a.icid,a.cnum,a.cserviceno,b.cwebac,b.cmsn,a.dsysdate,a.famount,a.creceiver,a.fweight,"
       "a.cphone,a.ffweight,b.fdeposit,b.fpay0+b.fpay1,b.cunitname,b.caccount,a.cdes" + from_rec_arc +
           "WHERE nfrom=3 AND " + wechat + " AND a.dsysdate>=" + window +
           " AND NOT EXISTS(SELECT 1 FROM qorvu.dbo.wc_mess WHERE ntype=8 AND iidref=a.irid)",
       {"50"}},
      // Update_TransPack, Update_AcArrears (WeChat and SMS forms), Update_TransWork
      {"SELECT TOP 100 b.icid,b.cwebac,b.cmsn,b.fdeposit,b.fpay0+b.fpay1,b.cunitname,b.caccount FROM "
       "qorvu.dbo.client_arc AS b WHERE b.fdeposit-b.fpay0-b.fpay1<60.00 AND " + wechat,
       {"1", "3"}},
      {"SELECT TOP 100 b.icid,b.csmnumber,b.cphone,b.fdeposit,b.fpay0+b.fpay1,b.cunitname,b.caccount FROM "
       "qorvu.dbo.client_arc AS b WHERE b.fdeposit-b.fpay0-b.fpay1<60.00 AND (b.csmnumber<>'' OR b.cphone<>'')",
       {"1"}},
      {"SELECT TOP 100 b.icid,b.cwebac,b.cmsn,b.fdeposit,b.fpay0+b.fpay1,b.cunitname,b.caccount FROM "
       "qorvu.dbo.client_arc AS b WHERE b.fdeposit-b.fpay0-b.fpay1<0 AND " + wechat,
       {"3"}},
      {"SELECT mcname,ccltkind,cmsn FROM qorvu.dbo.man_main WHERE LEN(cmsn)=28", {"Li"}},
      {"SELECT TOP 100 a.biid,a.icid,a.cnum,a.cno,a.dsysdate,a.creceiver,b.ckind,b.cunitname,b.caccount,a.cdes,"
       "a.cmark,a.cemskind FROM qorvu.dbo.rec_trans_bag AS a INNER JOIN qorvu.dbo.client_arc AS b ON(a.icid=b.icid) "
       "WHERE a.bget=1 AND a.irid=0 AND a.dsysdate>=" + window +
           " AND NOT EXISTS(SELECT 1 FROM qorvu.dbo.wc_mess WHERE ntype=21 AND iidref=a.biid)",
       {"1", "2"}},
      // Queue, bindings, dictionary, versions
      {"SELECT copenid FROM qorvu.dbo.wc_bind WHERE cphone IN('13800000001','13900000000')", {"oBind"}},
      {"SELECT TOP 50 iid FROM qorvu.dbo.wc_mess WHERE nstate=0 AND ddate>='2024.05.01 00:00:00' ORDER BY iid", {"1"}},
      {"SELECT TOP 50 iid FROM qorvu.dbo.wc_mess WHERE nstate=0 AND iid>0 ORDER BY iid", {"1", "3"}},
      {"SELECT dcvalue FROM qorvu.dbo.sys_dict WHERE dcname='55'", {"1"}},
      {"SELECT TOP 1 cversion FROM qorvu.dbo.sys_version ORDER BY cversion DESC", {"2023.5"}},
      {"SELECT ii,nn FROM qorvu.dbo.sys_server_update ORDER BY nn DESC", {"1", "2"}},
      {"SELECT wcroot FROM pandel.dbo.web_main WHERE wcid='3'", {"D:\\web"}},
      {"SELECT TOP 1 cversion FROM pandel.dbo.sys_version ORDER BY cversion DESC", {"5.2"}},
      // TOP inside a subquery ends there, even before a trailing comment.
      {"SELECT irid FROM qorvu.dbo.client_rec WHERE irid IN(SELECT TOP 1 irid FROM qorvu.dbo.client_rec ORDER BY irid "
       "DESC) -- newest", {"50"}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.firsts, FirstColumn(c.sql)) << c.sql;
}

TEST_F(AgentStatementsTest, RowsCarryTheirValues) {
  EXPECT_EQ(Strings{"1|20.0|2"},
            Rows("SELECT icid,SUM(famount),COUNT(*) FROM qorvu.dbo.rec_trans_bag WHERE irid=0 AND bget=1 AND famount>0 "
                 "GROUP BY icid"));
  EXPECT_EQ(Strings{"0|6|" + kOpenA + "||C14|x|"},
            Rows("SELECT nstate,ntype,copenid,curl,cparam FROM qorvu.dbo.wc_mess WHERE iid=1"));
  EXPECT_EQ(Strings{"20|2|Lost"},
            Rows("SELECT a.irid,ISNULL(c.npos,255),c.cinfo FROM qorvu.dbo.client_rec AS a LEFT OUTER JOIN "
                 "qorvu.dbo.check_detail AS c ON(a.irid=c.irid) WHERE a.irid=20 AND c.npos=(select "
                 "ISNULL(max(npos),255) from qorvu.dbo.check_detail where irid=a.irid)"));
  EXPECT_EQ(Strings{"40|"}, Rows("SELECT c.irid,ISNULL(d.clmphone,'') FROM qorvu.dbo.check_track AS c LEFT OUTER JOIN "
                                 "qorvu.dbo.man_main AS d ON(d.mcname=c.cref) WHERE c.ikind=2"));
  EXPECT_EQ(Strings{"50|50.0"}, Rows("SELECT a.irid,b.fpay0+b.fpay1 FROM qorvu.dbo.client_rec AS a INNER JOIN "
                                     "qorvu.dbo.client_arc AS b ON(a.icid=b.icid) WHERE nfrom=3"));
}

TEST_F(AgentStatementsTest, WritesOfTheAgentChangeTheirRow) {
  db_.Run("UPDATE qorvu.dbo.check_track SET nlan=10 WHERE irid=41 AND wpos=3 AND nlan=0");
  db_.Run("UPDATE qorvu.dbo.wc_mess SET ctext='Sent O''Brien',msgid='m-1',nstate=1,dsdate=GETDATE() WHERE iid=1");
  EXPECT_EQ(Strings{"10"}, Rows("SELECT nlan FROM qorvu.dbo.check_track WHERE irid=41"));
  const Strings sent = Rows("SELECT nstate,ctext,msgid,LEN(dsdate) FROM qorvu.dbo.wc_mess WHERE iid=1");
  EXPECT_EQ(Strings{"1|Sent O'Brien|m-1|19"}, sent);
}

TEST_F(StandinTest, UpdateScriptBatchesCreateAndFillTables) {
  Connection db;
  ASSERT_EQ(SQL_SUCCESS, db.Connect());
  db.Run("CREATE TABLE [dbo].[wc_model](\r\n"
         "  [iid] [int] IDENTITY(1,1) NOT NULL,\r\n"
         "  [cname] [nvarchar](32) NOT NULL,\r\n"
         "  [cbody] [varchar](MAX) NULL,\r\n"
         "  [ddate] [datetime] NULL DEFAULT (getdate()),\r\n"
         "  CONSTRAINT [PK_wc_model] PRIMARY KEY CLUSTERED ([iid] ASC)\r\n"
         ") ON [PRIMARY]\r\n");
  db.Run("ALTER TABLE qorvu.dbo.wc_model ADD cnote varchar(64) NULL");
  db.Run("CREATE NONCLUSTERED INDEX ix_wc_model ON qorvu.dbo.wc_model(cname)");
  db.Run("INSERT INTO qorvu.dbo.wc_model(cname,cbody,cnote) VALUES(N'Sign','{a}','x ');"
         "INSERT INTO qorvu.dbo.wc_model(cname,cbody) VALUES('Take','{b}')");
  Statement s(db.get());
  ASSERT_EQ(SQL_SUCCESS, s.Exec("SELECT iid,cname,LEN(ddate) FROM qorvu.dbo.wc_model WHERE cname='SIGN ' AND cnote='X'"))
      << s.diag();
  SQLINTEGER iid = 0, len = 0;
  char name[32] = {};
  SQLBindCol(s.get(), 1, SQL_C_SLONG, &iid, 0, nullptr);
  SQLBindCol(s.get(), 2, SQL_C_CHAR, name, sizeof name, nullptr);
  SQLBindCol(s.get(), 3, SQL_C_SLONG, &len, 0, nullptr);
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(s.get())) << s.diag();
  EXPECT_EQ(1, iid);
  EXPECT_STREQ("Sign", name);
  EXPECT_EQ(19, len);
  db.Run("TRUNCATE TABLE qorvu.dbo.wc_model");
  Statement again(db.get());
  EXPECT_EQ(SQL_ERROR, again.Exec("ALTER TABLE qorvu.dbo.wc_model ALTER COLUMN cname varchar(64)"));
  EXPECT_NE(std::string::npos, again.diag().find("ALTER COLUMN"));
}

}  // namespace
}  // namespace standin_test
