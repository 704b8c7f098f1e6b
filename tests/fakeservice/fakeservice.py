#!/usr/bin/env python3
"""A stand-in for the training agency's web service, for tests and demonstrations.

It serves every request the station sends, over HTTPS on 127.0.0.1, from the fixture files in
data/. A test certificate authority and the server's certificates are made with openssl in a
scratch folder when it starts (nothing that expires is kept). The first line it prints on
standard output is one JSON object: {"port": N, "base": "https://127.0.0.1:N/cco", "ca": PATH}.

Control requests (same server, outside /cco) let a test make it misbehave and read what was
posted:
  GET /__control/set?NAME=VALUE[&path=TEXT]   switches, optionally only for paths containing TEXT:
      slow=SECONDS      answer only after that many seconds (a silent server)
      status=CODE       answer every request with that HTTP status
      brokenjson=1      cut JSON answers in half
      truncated=1       cut the student list inside its last record
      wronghost=N       present a certificate made for another host name to the next N
                        connections
      drop=SNO          leave that student out of every student list
      refuse=TEXT       the course upload answers {"msg": TEXT}
      updates=FOLDER    serve the files of that folder under /esign (RolvanVer.txt,
                        RolvanUpdate.zip, RolvanUpdate.zip.sha256); none are served without it
      updatecut=1       send only the first half of a file under /esign, then close
  GET /__control/reset[?records=1]              all switches and served packages off; records
                                                kept unless records=1
  GET /__control/posted                         JSON list of what was posted
  GET /__control/check?token=T                  marks a certificate-check token as checked
  GET /__control/check?all=1                    marks every check token issued so far
  GET /__control/upload?index=N                 the file of the N-th package upload (from 0)
  POST /__control/download?clssno=C             the body is served as the package of class C
                                                (a hostile archive, say) instead of the
                                                aggregation of the uploads
Package uploads (/sctstulist/api/clszip) must be multipart forms with the fields "clssno" and
"token" (a certificate-check token that was checked) and the file part "uploadzip" of type
"application/jpg"; anything else is refused with 400 or 403 and recorded. The package of a class
(/sctstulist/api/downloadZip) is aggregated as the agency does from the sign-event packages the
stations uploaded for it: one <clssno>.csv with the header once and every station's lines (a
line sent twice once), and PIC/ with every snapshot they sent.
Start options: --students N --lessons M add class 11501000099 with N students and M lessons
(for measurements); --port P picks the port (0 = a free one).
"""

import argparse
import csv
import datetime
import email.parser
import email.policy
import io
import json
import os
import shutil
import signal
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import zipfile
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "data")
BASE = "/cco"
UPDATE_BASE = "/esign"
UPDATE_FILES = ("RolvanVer.txt", "RolvanUpdate.zip", "RolvanUpdate.zip.sha256")


def run_openssl(args, cwd):
    subprocess.run(["openssl"] + args, cwd=cwd, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_certificates(folder):
    """A test CA and two server certificates it signs: one for 127.0.0.1/localhost, one for
    a host name nobody uses. Elliptic-curve keys keep start-up quick."""
    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    run_openssl(["req", "-x509"] + ec + ["-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
                 "-subj", "/CN=Rolvan Fake Service Test CA",
                 "-addext", "basicConstraints=critical,CA:TRUE",
                 "-addext", "keyUsage=critical,keyCertSign,cRLSign"], folder)
    for name, alt in (("server", "IP:127.0.0.1,DNS:localhost"),
                      ("wrong", "DNS:wrong-host.invalid")):
        with open(os.path.join(folder, name + ".ext"), "w") as ext:
            ext.write("subjectAltName=" + alt + "\n"
                      "basicConstraints=CA:FALSE\n"
                      "keyUsage=digitalSignature,keyEncipherment\n"
                      "extendedKeyUsage=serverAuth\n")
        run_openssl(["req"] + ec + ["-keyout", name + ".key", "-out", name + ".csr",
                     "-subj", "/CN=" + alt.split(",")[0].split(":")[1]], folder)
        run_openssl(["x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                     "-CAcreateserial", "-out", name + ".pem", "-days", "2",
                     "-extfile", name + ".ext"], folder)


def server_context(folder, name):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.minimum_version = ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(os.path.join(folder, name + ".pem"), os.path.join(folder, name + ".key"))
    return context


def roc(date):
    return "%03d%02d%02d" % (date.year - 1911, date.month, date.day)


class Service:
    """The service's data and state: classes, student lists, tokens, switches, records."""

    def __init__(self, students, lessons):
        self.lock = threading.Lock()
        self.switches = {}
        self.posted = []
        self.uploads = []          # (clssno, file name, bytes) of each accepted package
        self.downloads = {}        # clssno -> bytes served instead of the aggregation
        self.tokens = set()
        self.check_tokens = {}
        self.counter = 0
        today = datetime.date.today()
        with open(os.path.join(DATA, "classes.json"), encoding="utf-8") as f:
            fixture = json.load(f)
        self.classes = []
        self.student_lists = {}
        for entry in fixture["classes"]:
            with open(os.path.join(DATA, entry["students"]), encoding="utf-8", newline="") as f:
                self.student_lists[entry["clssno"]] = f.read()
            self.classes.append(self.make_class(entry, today))
        if students or lessons:
            self.add_generated_class(today, students, lessons)

    @staticmethod
    def make_class(entry, today):
        lessons = []
        for lesson in entry["sctcourse"]:
            day = today + datetime.timedelta(days=lesson["day"])
            item = {"index_key": entry["clssno"]}
            for key in ("subject", "cno2", "cno4"):
                item[key] = lesson[key]
            item["datestart"] = day.strftime("%Y/%m/%d")
            for key in ("timestart", "timeend", "hours", "teacherid", "teacher", "noonrs",
                        "noonre", "nightrs", "nightre", "r1", "r2", "r3"):
                item[key] = lesson[key]
            lessons.append(item)
        return {
            "clssno": entry["clssno"],
            "clsnam": entry["clsnam"],
            "clssdt": roc(today + datetime.timedelta(days=entry["start"])),
            "clsedt": roc(today + datetime.timedelta(days=entry["end"])),
            "hours": entry["hours"],
            "untnam": "測試訓練單位",
            "sctcourse": lessons,
        }

    def add_generated_class(self, today, students, lessons):
        number = "11501000099"
        days = max(1, (lessons + 1) // 2)
        course = []
        for i in range(lessons):
            day = today + datetime.timedelta(days=i // 2)
            course.append({
                "index_key": number, "subject": "大型課程第%d堂" % (i + 1), "cno2": "必修",
                "cno4": "C%03d" % (i + 1), "datestart": day.strftime("%Y/%m/%d"),
                "timestart": "09:00" if i % 2 == 0 else "13:00",
                "timeend": "12:00" if i % 2 == 0 else "16:00", "hours": 3,
                "teacherid": "T%09d" % (i % 7 + 1), "teacher": "講師%d" % (i % 7 + 1),
                "noonrs": None, "noonre": None, "nightrs": None, "nightre": None,
                "r1": None, "r2": None, "r3": None})
        self.classes.append({
            "clssno": number, "clsnam": number + "大型測試班", "clssdt": roc(today),
            "clsedt": roc(today + datetime.timedelta(days=days - 1)), "hours": 3 * lessons,
            "untnam": "測試訓練單位", "sctcourse": course})
        out = io.StringIO()
        writer = csv.writer(out, lineterminator="\n")
        writer.writerow(["no", "sno", "name", "tnsadr", "tel", "tel2", "mobile", "email"])
        for i in range(students):
            writer.writerow([i + 1, "S%09d" % (i + 1), "學員%04d" % (i + 1),
                             "臺北市中正區測試路%d號,%d樓" % (i + 1, i % 12 + 1),
                             "02-2345%04d" % i, "", "09%08d" % i, "s%d@example.com" % i])
        self.student_lists[number] = out.getvalue()

    def switch(self, name, path):
        with self.lock:
            value, scope = self.switches.get(name, (None, None))
        if value is None or (scope and scope not in path):
            return None
        return value

    def new_token(self, prefix):
        with self.lock:
            self.counter += 1
            token = "%s%06d" % (prefix, self.counter)
            self.tokens.add(token)
            return token


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "FakeTrainingService/1.0"

    def log_message(self, fmt, *args):
        if os.environ.get("FAKESERVICE_VERBOSE"):
            sys.stderr.write("fakeservice: " + (fmt % args) + "\n")

    @property
    def service(self):
        return self.server.service

    def answer(self, status, body, content_type):
        if isinstance(body, str):
            body = body.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def answer_json(self, value, path):
        text = json.dumps(value, ensure_ascii=False)
        if self.service.switch("brokenjson", path):
            text = text[: len(text) // 2]
        self.answer(200, text, "application/json; charset=utf-8")

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length else b""

    def do_GET(self):
        self.route("GET")

    def do_POST(self):
        self.route("POST")

    def route(self, method):
        url = urllib.parse.urlsplit(self.path)
        path = url.path
        query = urllib.parse.parse_qs(url.query, keep_blank_values=True)
        if path.startswith("/__control/"):
            return self.control(path, query)
        body = self.read_body() if method == "POST" else b""
        delay = self.service.switch("slow", path)
        # Read before the delay: a reset while this request sleeps does not change its answer.
        status = self.service.switch("status", path)
        if delay:
            time.sleep(float(delay))
        if status:
            return self.answer(int(status), "<html><body>%s</body></html>" % status, "text/html")
        if method == "GET" and path.startswith(UPDATE_BASE + "/"):
            return self.update_file(path[len(UPDATE_BASE) + 1:])
        if not path.startswith(BASE + "/"):
            return self.answer(404, "not found", "text/plain")
        path = path[len(BASE):]
        s = self.service
        if method == "GET" and path == "/api/getToken":
            # The token is the first member; a member that sorts before it follows.
            return self.answer_json({"token": s.new_token("svc"), "at": time.strftime("%Y%m%d%H%M%S")}, path)
        if method == "GET" and path.startswith("/sctcls/api/list2/"):
            # The class entries are the second member; "data" sorts before "status".
            return self.answer_json({"status": "OK", "data": s.classes}, path)
        if method == "GET" and path.startswith("/sctstulist/stu/api/stuListDoc/"):
            parts = path.split("/")
            number, token = parts[-2], parts[-1]
            if token not in s.tokens or number not in s.student_lists:
                return self.answer(404, "not found", "text/plain")
            text = s.student_lists[number]
            drop = s.switch("drop", path)
            if drop:
                text = "\n".join(line for line in text.split("\n") if drop not in line)
            if s.switch("truncated", path):
                text = text.rstrip("\r\n")
                text = text[: text.rfind(",", 0, text.rfind(",", 0, len(text) - 1))]
            return self.answer(200, text, "text/plain; charset=utf-8")
        if method == "GET" and path == "/sctstulist/api/getCheckToken":
            token = s.new_token("chk")
            with s.lock:
                s.check_tokens[token] = False
            return self.answer_json({"token": token, "untcod": query.get("untcod", [""])[0]}, path)
        if method == "GET" and path.startswith("/sctstulist/getPkiStat/"):
            token = path.rsplit("/", 1)[-1]
            with s.lock:
                checked = s.check_tokens.get(token, False)
            # The service writes the state as text, in its own letter case.
            return self.answer_json({"token": token, "checked": "True" if checked else "false"}, path)
        if method == "GET" and path == "/sctstulist/checkPki":
            token = query.get("token", [""])[0]
            page = ("<html><head><meta charset='utf-8'><title>自然人憑證驗證</title></head><body>"
                    "<form method='post' action='%s/sctstulist/checkPki?token=%s'>"
                    "<button type='submit'>驗證完成</button></form></body></html>") % (BASE, token)
            return self.answer(200, page, "text/html; charset=utf-8")
        if method == "POST" and path == "/sctstulist/checkPki":
            token = query.get("token", [""])[0]
            with s.lock:
                if token in s.check_tokens:
                    s.check_tokens[token] = True
            return self.answer(200, "<html><body>驗證完成</body></html>", "text/html; charset=utf-8")
        if method == "POST" and path == "/sctcls/api/uploadCourse":
            form = urllib.parse.parse_qs(body.decode("utf-8"), keep_blank_values=True)
            record = {"path": path, "content_type": self.headers.get("Content-Type", ""),
                      "body": body.decode("utf-8"),
                      "form": {k: v[0] for k, v in form.items()}}
            with s.lock:
                s.posted.append(record)
            refuse = s.switch("refuse", path)
            if refuse:
                return self.answer_json({"msg": refuse}, path)
            if record["form"].get("token") not in s.tokens:
                return self.answer_json({"msg": "token錯誤"}, path)
            try:
                json.loads(record["form"].get("data", ""))
            except ValueError:
                return self.answer_json({"msg": "data格式錯誤"}, path)
            return self.answer_json({"msg": "OK"}, path)
        if method == "POST" and path == "/sctstulist/api/clszip":
            return self.package_upload(path, body)
        if method == "GET" and path == "/sctstulist/api/downloadZip":
            number = query.get("clssno", [""])[0]
            with s.lock:
                served = s.downloads.get(number)
            if served is None:
                served = self.aggregate(number)
            return self.answer(200, served, "application/zip")
        return self.answer(404, "not found", "text/plain")

    def update_file(self, name):
        """The version file, the update package and its checksum, from the folder set by the
        switch "updates"; a file missing there is not found."""
        folder = self.service.switch("updates", name)
        target = os.path.join(folder, name) if folder else ""
        if name not in UPDATE_FILES or not os.path.isfile(target):
            return self.answer(404, "not found", "text/plain")
        with open(target, "rb") as f:
            data = f.read()
        if not self.service.switch("updatecut", name):
            return self.answer(200, data, "application/octet-stream")
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data[: len(data) // 2])
        self.wfile.flush()
        self.close_connection = True

    def package_upload(self, path, body):
        s = self.service
        content_type = self.headers.get("Content-Type", "")
        record = {"path": path, "content_type": content_type, "size": len(body)}
        fields, files = {}, {}
        if content_type.startswith("multipart/form-data"):
            message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
                b"Content-Type: " + content_type.encode("latin-1") + b"\r\n\r\n" + body)
            for part in message.iter_parts():
                name = part.get_param("name", header="content-disposition")
                filename = part.get_filename()
                data = part.get_payload(decode=True) or b""
                if filename is None:
                    fields[name] = data.decode("utf-8")
                else:
                    files[name] = (filename, part.get_content_type(), data)
        record["fields"] = fields
        record["files"] = {k: {"filename": v[0], "content_type": v[1], "size": len(v[2])}
                           for k, v in files.items()}
        problem = None
        status = 400
        if not content_type.startswith("multipart/form-data"):
            problem = "not a multipart form"
        elif set(fields) != {"clssno", "token"} or set(files) != {"uploadzip"}:
            problem = "fields must be clssno, token and the file uploadzip"
        elif files["uploadzip"][1] != "application/jpg":
            problem = "uploadzip must be sent as application/jpg"
        elif not fields["clssno"].strip():
            problem = "clssno is blank"
        else:
            with s.lock:
                checked = s.check_tokens.get(fields["token"], False)
            if not checked:
                problem, status = "token not checked", 403
        record["refused"] = problem or ""
        with s.lock:
            if not problem:
                record["index"] = len(s.uploads)
                s.uploads.append((fields["clssno"], files["uploadzip"][0], files["uploadzip"][2]))
            s.posted.append(record)
        if problem:
            return self.answer(status, problem, "text/plain; charset=utf-8")
        return self.answer(200, "  上傳成功  ", "text/plain; charset=utf-8")

    def aggregate(self, number):
        """The class's package as the agency builds it from the stations' sign-event packages."""
        with self.service.lock:
            uploads = [u for u in self.service.uploads if u[0] == number]
        header, lines, seen, pictures = None, [], set(), {}
        for _, _, data in uploads:
            try:
                archive = zipfile.ZipFile(io.BytesIO(data))
            except zipfile.BadZipFile:
                continue
            names = archive.namelist()
            csv_name = number + ".csv"
            if csv_name not in names:
                continue
            text = archive.read(csv_name).decode("utf-8-sig")
            rows = text.split("\r\n")
            if header is None:
                header = rows[0]
            for line in rows[1:]:
                if line and line not in seen:
                    seen.add(line)
                    lines.append(line)
            for name in names:
                if name.lower().startswith("pic/") and not name.endswith("/"):
                    pictures[name.split("/", 1)[1]] = archive.read(name)
        buffer = io.BytesIO()
        with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as out:
            if header is not None:
                out.writestr(number + ".csv", ("\ufeff" + "\r\n".join([header] + lines) + "\r\n").encode("utf-8"))
            for name, data in sorted(pictures.items()):
                out.writestr("PIC/" + name, data)
        return buffer.getvalue()

    def control(self, path, query):
        s = self.service
        if path == "/__control/upload":
            index = int(query.get("index", ["0"])[0])
            with s.lock:
                data = s.uploads[index][2] if 0 <= index < len(s.uploads) else None
            if data is None:
                return self.answer(404, "no such upload", "text/plain")
            return self.answer(200, data, "application/octet-stream")
        if path == "/__control/download":
            data = self.read_body()
            with s.lock:
                s.downloads[query.get("clssno", [""])[0]] = data
            return self.answer(200, "ok", "text/plain")
        if path == "/__control/set":
            scope = query.pop("path", [None])[0]
            with s.lock:
                for name, values in query.items():
                    s.switches[name] = (values[0], scope)
            return self.answer(200, "ok", "text/plain")
        if path == "/__control/reset":
            with s.lock:
                s.switches.clear()
                s.downloads.clear()
                if query.get("records", [""])[0] == "1":
                    s.posted.clear()
                    s.uploads.clear()
            return self.answer(200, "ok", "text/plain")
        if path == "/__control/posted":
            with s.lock:
                text = json.dumps(s.posted, ensure_ascii=False)
            return self.answer(200, text, "application/json; charset=utf-8")
        if path == "/__control/check":
            with s.lock:
                if query.get("all"):
                    for token in s.check_tokens:
                        s.check_tokens[token] = True
                else:
                    s.check_tokens[query.get("token", [""])[0]] = True
            return self.answer(200, "ok", "text/plain")
        return self.answer(404, "not found", "text/plain")


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, service, folder):
        super().__init__(address, Handler)
        self.service = service
        self.good = server_context(folder, "server")
        self.wrong = server_context(folder, "wrong")

    def get_request(self):
        sock, address = self.socket.accept()
        context = self.good
        with self.service.lock:
            value, scope = self.service.switches.get("wronghost", (None, None))
            if value and int(value) > 0:
                context = self.wrong
                self.service.switches["wronghost"] = (str(int(value) - 1), scope)
        # The handshake runs in the request's own thread, at its first read.
        return context.wrap_socket(sock, server_side=True, do_handshake_on_connect=False), address

    def handle_error(self, request, client_address):
        if os.environ.get("FAKESERVICE_VERBOSE"):
            super().handle_error(request, client_address)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--students", type=int, default=0)
    parser.add_argument("--lessons", type=int, default=0)
    parser.add_argument("--ca-out", default="", help="also copy the test CA certificate here")
    parser.add_argument("--exit-on-eof", action="store_true",
                        help="end when standard input closes (the test that started it ended)")
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))

    folder = tempfile.mkdtemp(prefix="rolvan-fakeservice-")
    try:
        make_certificates(folder)
        if args.ca_out:
            shutil.copyfile(os.path.join(folder, "ca.pem"), args.ca_out)
        server = Server(("127.0.0.1", args.port), Service(args.students, args.lessons), folder)
        port = server.server_address[1]
        print(json.dumps({"port": port, "base": "https://127.0.0.1:%d%s" % (port, BASE),
                          "ca": args.ca_out or os.path.join(folder, "ca.pem")}), flush=True)
        if args.exit_on_eof:
            def watch():
                sys.stdin.read()
                server.shutdown()
            threading.Thread(target=watch, daemon=True).start()
        try:
            server.serve_forever()
        except KeyboardInterrupt:
            pass
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
