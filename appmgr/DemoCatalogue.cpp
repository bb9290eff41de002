// The demo catalogue that --init-demo loads into an empty store: two
// clients with their agents, backup sets, subclients and storage policies,
// default options, three tasks with rows, entities, options, files and a
// schedule pattern, and a few entries of every catalogue list.
#include "appmgr/AppManager.h"

namespace evtask {
namespace appmgr {

namespace {

const char kDemoSql[] = R"SQL(
INSERT INTO clients(client_id, name, is_nas, is_non_ndmp, version, update_status) VALUES
  (2, 'demo-server', 0, 1, '11 SP20', 0),
  (3, 'demo-nas', 1, 0, '11 SP18', 1);
INSERT INTO app_types(app_type_id, name) VALUES (29, 'File System'), (33, 'Virtual Server'), (81, 'Database');
INSERT INTO instances(instance_id, client_id, app_type_id, name, cluster_type, cloud_apps_type) VALUES
  (1, 2, 29, 'DefaultInstanceName', 0, 0),
  (2, 3, 29, 'DefaultInstanceName', 0, 0),
  (3, 2, 81, 'orders', 2, 0);
INSERT INTO storage_policies(storage_policy_id, name) VALUES (1, 'demo-disk'), (2, 'demo-cloud');
INSERT INTO backup_sets(backupset_id, instance_id, name) VALUES (1, 1, 'defaultBackupSet'), (2, 2, 'defaultBackupSet'),
  (3, 3, 'orders-set');
INSERT INTO subclients(subclient_id, backupset_id, name, storage_policy_id) VALUES
  (11, 1, 'default', 1), (12, 1, 'home', 2), (21, 2, 'default', 1), (31, 3, 'default', 2);
INSERT INTO default_options(option_id, type, value) VALUES
  (1, 7, '3'), (2, 2, '1'), (3, 1, '/var/tmp'), (100, 14, '1048576');
INSERT INTO tasks(task_id, field1, flags, status, description, xml_options, extended_options, bit_options, is_default)
  VALUES
  (1, 0, 128, 0, 'default task', NULL, NULL, 0, 1),
  (1001, 0, 0, 0, 'nightly backup of demo-server', '<TaskOptions backupLevel="2"/>', 'compress=1;', 5, 0),
  (1002, 0, 0, 0, 'restore of demo-nas home', NULL, 'overwrite=0;', 0, 0);
INSERT INTO subtasks(sub_task_id, task_id, sub_task_type, operation_type, field4, schedule_pattern) VALUES
  (2001, 1001, 2, 4, 0, '<pattern freq="daily" time="22:00"/>'),
  (2002, 1002, 1, 1001, 0, NULL);
INSERT INTO entities(task_id, sub_task_id, client_id, app_type_id, instance_id, backupset_id, subclient_id) VALUES
  (1001, 0, 2, 29, 1, 1, 11),
  (1001, 0, 2, 29, 1, 1, 12),
  (1002, 0, 3, 29, 2, 2, 21);
INSERT INTO patterns(task_id, text1, text2, text3, fields) VALUES
  (1001, 'nightly', 'daily at 22:00', 'Europe/Berlin',
   X'01000000040000000100000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000');
INSERT INTO options(task_id, option_id, type, value) VALUES
  (1001, 1, 7, '5'), (1001, 4, 1, 'demo-disk'), (1001, 5, 2, '1'), (1001, 6, 1, '/etc'), (1001, 6, 1, '/home'),
  (1002, 7, 1, '/restore'), (1002, 8, 2, '0');
INSERT INTO files(task_id, file_id, type, value) VALUES
  (1001, 1, 1, '/etc'), (1001, 1, 1, '/home'), (1002, 2, 1, '/home/alice/report.txt');
INSERT INTO compliance_options(ref_id, kind, value, text) VALUES (1001, 1, 7, 'retain 7 days'), (1001, 2, 1, 'worm');
INSERT INTO record_centers(number1, text1, text2, text3, text4, text5, number2, text6, text7, number3) VALUES
  (1, 'records-main', 'demo-server', '/records', 'admin', 'primary', 1, 'https://records.example', '', 0);
INSERT INTO record_connectors(number1, text1, number2, text2, text3, text4, number3) VALUES
  (1, 'share-connector', 2, 'demo-server', '/share', 'smb', 1);
INSERT INTO legal_holds(text1, text2, text3, value12, text4, value8) VALUES
  ('hold-finance', 'finance matter', 'legal', X'010000000200000003000000', 'open', X'0500000000000000');
INSERT INTO tags(text1, text2, text3, text4, text5, number) VALUES
  ('department', 'finance', 'demo-server', '', '', 1), ('department', 'sales', 'demo-nas', '', '', 2);
INSERT INTO global_params(name, value) VALUES ('CONTROLHOST_SURVEY_WIA_SCHEDULE_ID_LIST', '');
)SQL";

}  // namespace

void loadDemoCatalogue(Store& store, JobSimulator& jobs) {
  store.exec(kDemoSql);
  // One job per demo task, so job queries have something to show.
  const int64_t request = jobs.newRequest("demo");
  jobs.startJob(request, 1001, 2001);
  jobs.startJob(request, 1002, 2002);
}

}  // namespace appmgr
}  // namespace evtask
