// The benchmark peer's job: a text watermark on every page, through
// `mutool run bench/mutool_stamp.js IN OUT [TEXT]` (MuPDF is measured against,
// never linked or shipped).
var doc = new PDFDocument(scriptArgs[0]);
var font = doc.addSimpleFont(new Font("Helvetica"), "Latin");
var text = scriptArgs.length > 2 ? scriptArgs[2] : "Type your watermark text here";
var n = doc.countPages();
for (var i = 0; i < n; ++i) {
  var page = doc.findPage(i);
  var res = page.get("Resources");
  if (res.isNull()) { res = doc.newDictionary(); page.put("Resources", res); }
  var fonts = res.get("Font");
  if (fonts.isNull()) { fonts = doc.newDictionary(); res.put("Font", fonts); }
  fonts.put("VxWm", font);
  var s = "q 1 0 0 rg 0 0 1 RG 2 Tr BT /VxWm 36 Tf 0.7071 0.7071 -0.7071 0.7071 150 200 Tm (" + text + ") Tj ET Q";
  var stm = doc.addStream(s, {});
  var old = page.get("Contents");
  var arr = doc.newArray();
  arr.push(stm);
  if (old.isArray()) { for (var k = 0; k < old.length; ++k) arr.push(old.get(k)); }
  else if (!old.isNull()) arr.push(old);
  page.put("Contents", arr);
}
doc.save(scriptArgs[1], "");
