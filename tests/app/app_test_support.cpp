#include "app_test_support.h"

#include <QFile>
#include <QRegularExpression>

#include "pdf/document/vxCstPDFDoc.h"

namespace vxtest {

QByteArray OnePageLetterPdf() {
  const QByteArray Content = "BT /F1 24 Tf 72 700 Td (Hello from page one) Tj ET";
  const QList<QByteArray> Objects = {
      "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
      "/Resources << /Font << /F1 5 0 R >> >> >>",
      "<< /Length " + QByteArray::number(Content.size()) + " >>\nstream\n" + Content +
          "\nendstream",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"};
  QByteArray Out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  QList<qsizetype> Offsets;
  for (qsizetype I = 0; I < Objects.size(); ++I) {
    Offsets << Out.size();
    Out += QByteArray::number(I + 1) + " 0 obj\n" + Objects[I] + "\nendobj\n";
  }
  qsizetype XRef = Out.size();
  Out += "xref\n0 " + QByteArray::number(Objects.size() + 1) + "\n0000000000 65535 f \n";
  for (qsizetype Offset : Offsets)
    Out += QByteArray::number(Offset).rightJustified(10, '0') + " 00000 n \n";
  Out += "trailer\n<< /Size " + QByteArray::number(Objects.size() + 1) +
         " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(XRef) + "\n%%EOF\n";
  return Out;
}

bool EngineOpens(const QString& File, const std::string& Password) {
  vx::TvxPDFDocument Doc;
  Doc.OnPassword = [&](vx::TvxCustomPDFDocument&, std::string& P, bool& Continue, int32_t Tries) {
    P = Password;
    Continue = Tries == 0;
  };
  try {
    return Doc.LoadFromFile(QFile::encodeName(File).toStdString());
  } catch (const std::exception&) {
    return false;
  }
}

QString LoadError(const QString& File, bool Repair) {
  vx::TvxPDFDocument Doc;
  Doc.RepairDamaged = Repair;
  try {
    Doc.LoadFromFile(QFile::encodeName(File).toStdString());
  } catch (const std::exception& E) {
    return QString::fromStdString(E.what());
  }
  return QString();
}

QString TestData(const char* Name) {
  return QStringLiteral(VX_TEST_DATA_DIR "/") + QString::fromLatin1(Name);
}

QByteArray ReadAll(const QString& Path) {
  QFile F(Path);
  if (!F.open(QIODevice::ReadOnly)) return {};
  return F.readAll();
}

bool WriteAll(const QString& Path, const QByteArray& Bytes) {
  QFile F(Path);
  return F.open(QIODevice::WriteOnly | QIODevice::Truncate) && F.write(Bytes) == Bytes.size();
}

QByteArray ObjectBody(const QByteArray& File, int Number) {
  QByteArray Head = "\r\n" + QByteArray::number(Number) + " 0 obj\r\n";
  qsizetype Start = File.indexOf(Head);
  if (Start < 0) return {};
  Start += Head.size();
  qsizetype End = File.indexOf("\r\nendobj\r\n", Start);
  return End < 0 ? QByteArray() : File.mid(Start, End - Start);
}

std::vector<int> PageContents(const QByteArray& File) {
  // Object 3 is the page tree root; its first kid is the first page.
  static const QRegularExpression Kid(QStringLiteral("/Kids \\[ (\\d+) 0 R"));
  QRegularExpressionMatch M = Kid.match(QString::fromLatin1(ObjectBody(File, 3)));
  if (!M.hasMatch()) return {};
  QString Page = QString::fromLatin1(ObjectBody(File, M.captured(1).toInt()));
  static const QRegularExpression Contents(QStringLiteral("/Contents (\\[[^\\]]*\\]|\\d+ 0 R)"));
  QRegularExpressionMatch C = Contents.match(Page);
  std::vector<int> Refs;
  if (!C.hasMatch()) return Refs;
  static const QRegularExpression Ref(QStringLiteral("(\\d+) 0 R"));
  for (auto It = Ref.globalMatch(C.captured(1)); It.hasNext();)
    Refs.push_back(It.next().captured(1).toInt());
  return Refs;
}

QByteArray StreamData(const QByteArray& File, int Number) {
  QByteArray Body = ObjectBody(File, Number);
  qsizetype Start = Body.indexOf("stream\r\n");
  qsizetype End = Body.lastIndexOf("\r\nendstream");
  if (Start < 0 || End < Start) return {};
  Start += 8;
  return Body.mid(Start, End - Start);
}

}  // namespace vxtest
